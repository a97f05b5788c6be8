#pragma once
// The parts of the Linux platform that each kind of session supplies: how
// the hotkey is seen, how the screen is copied, and how a key of the
// settings panel is named. X11 gives all three from the X server
// (src/platform/x11); Wayland from the compositor or the desktop's portals.
// Everything else (window, tray, files, sound, the timer) is the same in
// every session and lives in LinuxPlatform.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/keyboard.h"
#include "platform/linux/keymap.h"
#include "platform/screen.h"

namespace snapwick::linux {

// What the session shows of the watched hotkey, anywhere in it.
class HotkeySource {
 public:
  using KeyHandler = std::function<void(KeySeen seen)>;

  virtual ~HotkeySource() = default;

  // Where what is seen of the key goes from now on; the platform sets it
  // once, before Watch. Raised only from Dispatch, from Sample, or from the
  // source's own handlers of Qt's event loop (a D-Bus signal): never from
  // inside Watch, because the program may be in the middle of something
  // then.
  virtual void SetKeyHandler(KeyHandler onKey) = 0;
  // The key the session holds for the program, in its own words; empty
  // when it holds none.
  using BoundHandler = std::function<void(std::string_view keyName)>;
  // Where a source whose key the desktop binds (and may bind otherwise
  // than asked, or not at all) tells the key in force, from the event
  // loop, whenever it changes from what it told last; after each Watch the
  // key asked for counts as told. A source that watches the very key it is
  // asked to never calls it.
  virtual void SetBoundHandler(BoundHandler /*onBound*/) {}
  // Watches `virtualKey` instead of the key watched before; 0 watches
  // none. A key that cannot be watched gives None (no shots, said plainly).
  // A key held down at this moment makes no edge until its next press.
  virtual HotkeyWatch Watch(int virtualKey) = 0;

  // A descriptor that becomes readable when the source has something to
  // read; -1 for a source that needs none. The platform then calls
  // Dispatch from its event loop, and asks again afterwards: a source
  // whose server has gone closes its descriptor and says -1.
  virtual int EventFd() const { return -1; }
  virtual void Dispatch() {}
  // Whether something was read off the descriptor already (while waiting
  // for a reply during a grab, say) and waits for Dispatch, which the
  // descriptor alone no longer shows.
  virtual bool Pending() const { return false; }
  // Just before each tick: a source that can look at the key's state
  // (Edges, AtTicks) raises what it sees (DownNow, UpNow) here.
  virtual void Sample() {}
};

// The primary screen.
class ScreenSource {
 public:
  using GrabbedHandler = std::function<void(std::optional<Frame> frame)>;

  virtual ~ScreenSource() = default;
  // Where the frame of a Pending grab goes, from the event loop, never
  // from inside Grab; the platform sets it once.
  virtual void SetGrabbedHandler(GrabbedHandler /*onGrabbed*/) {}
  // A copy made at once (within a wait of a few milliseconds), or Pending
  // where the desktop answers later, or Failed. The pixels stay the
  // source's until the next Grab.
  virtual ScreenGrab Grab() = 0;
  // Whether shots can come now (ScreenApi::SetScreenWanted): a source
  // that must ask the user for the screen asks only once this is on.
  virtual void SetWanted(bool /*wanted*/) {}
};

// The session's keymap, for the keys released over the program's window:
// Qt's key events carry the key's native code (the X keycode, which is
// also xkbcommon's keycode on Wayland), the native modifier state and the
// keysym that Qt's own keymap gave the key.
class SessionKeymap {
 public:
  virtual ~SessionKeymap() = default;
  // The key's virtual-key code and name; nothing for a key the program
  // ignores. `nativeModifiers` decides the layout and Num Lock, as the
  // session's Qt plugin reports them. `keysym` is Qt's reading of the key
  // (0 when it has none): on Wayland each keyboard brings a keymap of its
  // own, and Qt may have the newest one before the session's parts do.
  virtual std::optional<KeyDescription> Describe(std::uint32_t nativeScanCode,
                                                 std::uint32_t nativeModifiers,
                                                 std::uint32_t keysym) = 0;
  // Whether a release is a repeat's, the key being down again (X repeats
  // a held key as release and press pairs): a held key is captured once.
  virtual bool RepeatedRelease(std::uint32_t /*nativeScanCode*/) { return false; }
};

// One session's parts. Any of them may be missing: no hotkey or no screen
// means no shots (never black ones) but those of the compositor's own
// bindings (CompositorKey), which need the screen; no keymap means the
// panel names no key. `notice` is said once the window is up (message box
// and stderr) when the settings' key makes no shots: why, and what the
// user can do.
struct SessionParts {
  std::unique_ptr<HotkeySource> hotkey;
  std::unique_ptr<ScreenSource> screen;
  std::unique_ptr<SessionKeymap> keymap;
  std::string notice;
};

// The ways to the hotkey and the screen that a desktop offers beside its
// compositor's own (the portals), tried after those; each makes nothing
// where the desktop has no such way. An empty function: no such way.
struct DesktopWays {
  std::function<std::unique_ptr<HotkeySource>()> hotkey;
  std::function<std::unique_ptr<ScreenSource>()> screen;
};

}  // namespace snapwick::linux
