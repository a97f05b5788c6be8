#pragma once
// The hotkey under sway: no Wayland client sees another window's keys, so
// sway is asked over its IPC socket to bind the key to two commands that do
// nothing (`nop <name>`), on the press and on the release, and to report
// the bindings it runs. Sway runs the press binding again at each repeat
// and skips the release when another key went down during the hold, so the
// program ends such a hold from the repeats (HotkeyWatch::Repeats). The
// names are this process's own: another copy's events never count here.
//
// A bound key does not reach the focused application until Unbind. Sway
// drops run-time bindings when it reloads its configuration; they are
// added again after the reload, unless the configuration now binds the key
// itself. A key the configuration binds already, with no modifier, is not
// taken, since sway would silently replace the user's binding: Watch
// reports that nothing is watched.
//
// Commands go over one connection and wait at most half a second for a
// reply; one without a reply is sent once more over a new connection, so a
// slow moment of sway's costs one command's wait, never the hotkey. Events
// come over the other, whose descriptor the caller watches before calling
// ProcessEvents; what sway ran is reported only from there, never from
// inside Watch.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wayland/sway_ipc_messages.h"
#include "platform/wayland/sway_keys.h"

struct xkb_keymap;

namespace snapwick::wayland {

// Where sway's IPC socket is: SWAYSOCK, which sway sets for the programs it
// starts; else I3SOCK; else the socket sway makes in XDG_RUNTIME_DIR,
// sway-ipc.<uid>.<pid>.sock, of a sway that still runs (the newest, should
// several). Nothing when there is none.
std::optional<std::string> FindSwaySocket();

// What the events on the subscription mean for one process's bindings,
// apart from the sockets. No state of the key is kept here: each run of a
// binding is reported as it comes.
class HotkeyEvents {
 public:
  // tag makes the binding names unique: the process id and random bytes.
  explicit HotkeyEvents(const std::string& tag);

  // The arguments of our `nop` commands.
  const std::string& DownName() const { return downName_; }
  const std::string& UpName() const { return upName_; }

  struct Outcome {
    // One of our bindings ran: true the press's (a press or a repeat),
    // false the release's.
    std::optional<bool> down;
    // The configuration was reloaded: the bindings are gone.
    bool rebind = false;
  };
  Outcome OnEvent(const IpcMessage& event) const;

 private:
  std::string downName_;
  std::string upName_;
  std::string downCommand_;
  std::string upCommand_;
};

// A tag unique to this process: "snapwick-<pid>-<16 random hex digits>".
std::string NewBindingTag();

class IpcConnection;

class SwayHotkey {
 public:
  // A run of the press binding (true: a press or a repeat) or of the
  // release binding (false).
  using KeyHandler = std::function<void(bool down)>;

  // Connects to sway (socketPath, else FindSwaySocket()) and subscribes to
  // its binding and workspace events. Nothing when sway cannot be reached.
  static std::unique_ptr<SwayHotkey> Connect(KeyHandler onKey, std::string socketPath = {});
  ~SwayHotkey();
  SwayHotkey(const SwayHotkey&) = delete;
  SwayHotkey& operator=(const SwayHotkey&) = delete;

  // Watches virtualKey from now on (0: nothing), unbinding the key watched
  // before. True when sway bound it: what sway runs of it will be reported.
  // False when the key cannot be bound (no such key, sway refused or did
  // not answer, the configuration binds it already, sway is gone): nothing
  // is watched then, not even after a reload.
  bool Watch(int virtualKey);
  // Gives the watched key back to applications; nothing is watched until
  // the next Watch.
  void Unbind();
  // Whether the key is bound now. A key that Watch bound is unbound by a
  // reload whose configuration binds it itself (or that sway would not let
  // bind again), and bound again by a later reload that lets it.
  bool Watching() const { return !bound_.empty(); }
  // The key that Watch bound, bound now or waiting for a reload; 0 for none.
  int VirtualKey() const { return virtualKey_; }

  // The keymap whose first layout decides how letters are bound (see
  // SwayKeysOf); applies from the next Watch. nullptr: sway's own
  // translation of letters.
  void SetFirstLayout(xkb_keymap* keymap);

  // Readable when sway has sent events; -1 once the connection is gone.
  int EventFd() const;
  // Reads what sway has sent and reports the runs of our bindings. False
  // once sway has gone (the caller stops watching the descriptor); the key
  // is reported up first.
  bool ProcessEvents();

  const HotkeyEvents& Events() const { return events_; }
  // How many reloads of sway's configuration were handled, each with the
  // key bound again (when it still could be: see Watching).
  int Reloads() const { return reloads_; }

 private:
  SwayHotkey(KeyHandler onKey, std::string socketPath, std::unique_ptr<IpcConnection> commands,
             std::unique_ptr<IpcConnection> subscription);
  bool Bind(const std::vector<SwayKey>& keys);
  void UnbindKeys();
  std::optional<IpcMessage> Request(std::uint32_t type, std::string_view payload);
  bool RunCommand(const std::string& command);
  // Nothing when sway did not answer.
  std::optional<bool> KeyTaken(const std::vector<SwayKey>& keys);

  KeyHandler onKey_;
  std::string socketPath_;
  // Opened anew when a command goes unanswered; none between a failed
  // opening and the next command.
  std::unique_ptr<IpcConnection> commands_;
  std::unique_ptr<IpcConnection> subscription_;
  HotkeyEvents events_;
  xkb_keymap* firstLayout_ = nullptr;
  // The key Watch bound: bound again at each reload.
  int virtualKey_ = 0;
  int reloads_ = 0;
  // The keys bound now, each on its press and its release.
  std::vector<SwayKey> bound_;
};

}  // namespace snapwick::wayland
