#include "platform/wayland/sway_ipc_messages.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace snapwick::wayland {
namespace {

constexpr std::string_view kMagic = "i3-ipc";
constexpr std::size_t kHeaderSize = kMagic.size() + 2 * sizeof(std::uint32_t);

QJsonDocument ParseJson(std::string_view text) {
  return QJsonDocument::fromJson(
      QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())));
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The configuration as sway's reader sees it: one command a line, with
// continued lines joined and comments gone.
std::vector<std::string> ConfigLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string pending;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos && line[first] == '#' && pending.empty()) continue;
    if (!line.empty() && line.back() == '\\') {
      pending.append(line.substr(0, line.size() - 1));
      continue;
    }
    pending.append(line);
    lines.push_back(std::move(pending));
    pending.clear();
    if (end == text.size()) break;
  }
  return lines;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (true) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string_view::npos) break;
    std::size_t end = at;
    if (line[at] == '"' || line[at] == '\'') {
      end = line.find(line[at], at + 1);
      end = end == std::string_view::npos ? line.size() : end + 1;
    } else {
      end = line.find_first_of(" \t", at);
      if (end == std::string_view::npos) end = line.size();
    }
    words.emplace_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// A bind command's words, the block's header first when it stands in a
// `bindsym { ... }` block: does it bind the key alone?
bool BindsKey(const std::vector<std::string>& words, bool bindcode, std::string_view keyName,
              const std::map<std::string, std::string>& variables) {
  if (words.empty() || words[0] != (bindcode ? "bindcode" : "bindsym")) return false;
  std::size_t i = 1;
  for (; i < words.size() && words[i].starts_with("--"); ++i) {
    const std::string& flag = words[i];
    // Mouse bindings, over a window's parts, are another list.
    if (flag == "--border" || flag == "--whole-window" || flag == "--exclude-titlebar") {
      return false;
    }
  }
  if (i >= words.size()) return false;
  std::string combo = words[i];
  if (combo.starts_with('$')) {
    const auto found = variables.find(combo);
    if (found == variables.end()) return false;
    combo = found->second;
  }
  return Lower(combo) == Lower(keyName);
}

}  // namespace

std::string EncodeIpcMessage(std::uint32_t type, std::string_view payload) {
  std::string message(kMagic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), sizeof length);
  message.append(reinterpret_cast<const char*>(&type), sizeof type);
  message.append(payload);
  return message;
}

void IpcMessageReader::Append(const char* bytes, std::size_t size) {
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(bytes, size);
}

std::optional<IpcMessage> IpcMessageReader::Next() {
  if (broken_) return std::nullopt;
  const std::size_t available = buffer_.size() - start_;
  const std::size_t magicSeen = std::min(available, kMagic.size());
  if (std::string_view(buffer_).substr(start_, magicSeen) != kMagic.substr(0, magicSeen)) {
    broken_ = true;
    return std::nullopt;
  }
  if (available < kHeaderSize) return std::nullopt;
  std::uint32_t length = 0;
  std::uint32_t type = 0;
  std::memcpy(&length, buffer_.data() + start_ + kMagic.size(), sizeof length);
  std::memcpy(&type, buffer_.data() + start_ + kMagic.size() + sizeof length, sizeof type);
  if (length > sway_ipc::kMaxPayload) {
    broken_ = true;
    return std::nullopt;
  }
  if (available < kHeaderSize + length) return std::nullopt;
  IpcMessage message{type, buffer_.substr(start_ + kHeaderSize, length)};
  start_ += kHeaderSize + length;
  // Keep the buffer from growing with every message of a long session.
  if (start_ > 4096 && start_ * 2 > buffer_.size()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return message;
}

std::optional<std::vector<CommandOutcome>> ParseCommandReply(std::string_view payload) {
  const QJsonDocument document = ParseJson(payload);
  if (!document.isArray()) return std::nullopt;
  std::vector<CommandOutcome> outcomes;
  for (const QJsonValue& value : document.array()) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    outcomes.push_back(
        {object.value("success").toBool(false), object.value("error").toString().toStdString()});
  }
  return outcomes;
}

bool AllSucceeded(const std::optional<std::vector<CommandOutcome>>& outcomes, std::size_t count) {
  return outcomes && outcomes->size() == count &&
         std::all_of(outcomes->begin(), outcomes->end(),
                     [](const CommandOutcome& outcome) { return outcome.success; });
}

bool IsSuccess(std::string_view reply) {
  const QJsonDocument document = ParseJson(reply);
  return document.isObject() && document.object().value("success").toBool(false);
}

std::optional<std::string> BoundCommandOf(std::string_view bindingEvent) {
  const QJsonDocument document = ParseJson(bindingEvent);
  if (!document.isObject()) return std::nullopt;
  const QJsonObject event = document.object();
  if (event.value("change").toString() != "run") return std::nullopt;
  const QJsonObject binding = event.value("binding").toObject();
  if (binding.value("input_type").toString() != "keyboard") return std::nullopt;
  const QJsonValue command = binding.value("command");
  if (!command.isString()) return std::nullopt;
  return command.toString().toStdString();
}

bool IsReload(std::string_view workspaceEvent) {
  const QJsonDocument document = ParseJson(workspaceEvent);
  return document.isObject() && document.object().value("change").toString() == "reload";
}

std::optional<std::string> ConfigTextOf(std::string_view reply) {
  const QJsonDocument document = ParseJson(reply);
  if (!document.isObject()) return std::nullopt;
  const QJsonValue config = document.object().value("config");
  if (!config.isString()) return std::nullopt;
  return config.toString().toStdString();
}

bool ConfigBindsKey(std::string_view config, bool bindcode, std::string_view keyName) {
  std::map<std::string, std::string> variables;
  // The headers of the blocks that hold the current line, outermost first.
  std::vector<std::vector<std::string>> blocks;
  for (const std::string& line : ConfigLines(config)) {
    std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    if (words.front() == "}") {
      if (!blocks.empty()) blocks.pop_back();
      continue;
    }
    if (words.back() == "{") {
      words.pop_back();
      blocks.push_back(std::move(words));
      continue;
    }
    if (words.front() == "set" && words.size() >= 3 && words[1].starts_with('$')) {
      variables[words[1]] = words[2];
      continue;
    }
    // A mode's bindings fire only in that mode; the commands inside other
    // blocks (input, output, bar) are that block's own.
    const bool inMode = std::any_of(blocks.begin(), blocks.end(), [](const auto& header) {
      return !header.empty() && header.front() == "mode";
    });
    if (inMode) continue;
    if (!blocks.empty()) {
      const std::vector<std::string>& header = blocks.back();
      if (header.empty() || (header.front() != "bindsym" && header.front() != "bindcode")) {
        continue;
      }
      std::vector<std::string> whole = header;
      whole.insert(whole.end(), words.begin(), words.end());
      words = std::move(whole);
    }
    if (BindsKey(words, bindcode, keyName, variables)) return true;
  }
  return false;
}

}  // namespace snapwick::wayland
