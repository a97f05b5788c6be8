#pragma once
// Sway's IPC (the i3 protocol) as bytes and JSON, apart from any socket:
// each message is the magic "i3-ipc", the payload's length and the
// message type as 32-bit numbers in the machine's byte order, then the
// JSON payload. Events carry the type with the high bit set.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snapwick::wayland {

namespace sway_ipc {
constexpr std::uint32_t kRunCommand = 0;
constexpr std::uint32_t kSubscribe = 2;
constexpr std::uint32_t kGetConfig = 9;
constexpr std::uint32_t kWorkspaceEvent = 0x80000000u;
constexpr std::uint32_t kBindingEvent = 0x80000005u;
// Sway refuses larger messages from clients; ours are a few hundred bytes.
// A reply may be large (a tree, a config), but not this large.
constexpr std::uint32_t kMaxPayload = 64u << 20;
}  // namespace sway_ipc

struct IpcMessage {
  std::uint32_t type = 0;
  std::string payload;
};

std::string EncodeIpcMessage(std::uint32_t type, std::string_view payload);

// Cuts the bytes read from the socket, in whatever pieces they came, into
// messages. A stream that does not start with the magic, or announces a
// payload over kMaxPayload, is broken for good: the connection must go.
class IpcMessageReader {
 public:
  void Append(const char* bytes, std::size_t size);
  // The next whole message, if one has arrived.
  std::optional<IpcMessage> Next();
  bool Broken() const { return broken_; }

 private:
  std::string buffer_;
  std::size_t start_ = 0;
  bool broken_ = false;
};

// The reply to RUN_COMMAND: one outcome per command, in order. Nothing
// when the payload is not such a reply.
struct CommandOutcome {
  bool success = false;
  std::string error;
};
std::optional<std::vector<CommandOutcome>> ParseCommandReply(std::string_view payload);
// Whether a reply holds one outcome per command and every one succeeded.
bool AllSucceeded(const std::optional<std::vector<CommandOutcome>>& outcomes, std::size_t count);

// Whether a reply is {"success": true}, as SUBSCRIBE's is.
bool IsSuccess(std::string_view reply);

// The command that a binding event ran ("nop snapwick-...-down"), for a
// binding of the keyboard; nothing for other events and for the mouse.
std::optional<std::string> BoundCommandOf(std::string_view bindingEvent);
// Whether a workspace event tells that the configuration was reloaded,
// which drops every binding added at run time.
bool IsReload(std::string_view workspaceEvent);

// The configuration text in a GET_CONFIG reply.
std::optional<std::string> ConfigTextOf(std::string_view reply);

// Whether the configuration binds the key, with no modifier, in the
// default mode, with or without --release: binding it again would silently
// replace the user's own binding, and unbinding it later would lose it.
// keyArguments are the words that name the key in our commands ("F8",
// "--to-code a", "10"); bindcode tells which of bindsym and bindcode they
// belong to. Bindings inside a `mode` block belong to that mode and do not
// count. The text is read as sway reads it: comments, line continuations,
// `bindsym { ... }` blocks, flags in any order; a key named through a
// variable is not recognised.
bool ConfigBindsKey(std::string_view config, bool bindcode, std::string_view keyName);

}  // namespace snapwick::wayland
