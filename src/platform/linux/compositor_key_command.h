#pragma once
// The start of the program that a compositor's key binding runs
// (CompositorKey): `snapwick --hotkey-press` and the like. It only tells
// the running copy of the session, through the door beside that copy's
// single-instance lock (compositor_key_door.h), and ends. labwc runs it at
// every repeat of a held key, about every 40 ms, so it needs no Qt and no
// display: one connection, one short fixed message.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/keyboard.h"

namespace snapwick::linux {

// The arguments, as the user writes them in the compositor's configuration.
inline constexpr std::string_view kPressArgument = "--hotkey-press";
inline constexpr std::string_view kDownArgument = "--hotkey-down";
inline constexpr std::string_view kUpArgument = "--hotkey-up";

// The key that the first argument naming one stands for (`arguments`
// without the program's own name); nothing when none does, and the start
// is the program's. Every other argument is ignored, as it always was.
std::optional<CompositorKey> CompositorKeyArgument(std::span<const char* const> arguments);

// The message that tells the running copy of `key`: a few fixed bytes,
// which name this version of the door, so that an older or newer copy
// ignores what it does not know.
std::string_view KeyMessage(CompositorKey key);
// The key a message tells; nothing for anything else.
std::optional<CompositorKey> KeyOfMessage(std::string_view message);

enum class KeySent : std::uint8_t {
  Sent,
  // Nothing listens at the door: no copy runs in this session (or one was
  // killed and left its socket file).
  NoRunningCopy,
  // What listens there is another user's.
  NotOurs,
  Failed,
};

// Connects to the door at `doorPath`, checks that the copy there runs as
// this user, and hands it the key's message. Waits a second at most for a
// copy too busy to take the connection. Failed leaves errno saying why.
KeySent SendCompositorKey(const std::string& doorPath, CompositorKey key);

// The whole command start: tells the running copy of `sessionKey` (the
// single instance's key) in `runtimeFolder` (XDG_RUNTIME_DIR) and returns
// the exit status: 0 once told, 1 when no copy could be told, said on
// stderr. Never starts a copy of its own.
int RunCompositorKeyCommand(CompositorKey key, std::string_view runtimeFolder,
                            std::string_view sessionKey);

// `program` as one word of a shell command line, quoted where it needs it:
// compositors run their commands through `sh -c`.
std::string ShellWord(std::string_view program);

// What a session whose compositor hands the program no key tells the
// user: to bind one in the compositor's configuration to `program` (this
// copy's path) with the arguments above.
std::string BindInCompositorNotice(std::string_view program);

}  // namespace snapwick::linux
