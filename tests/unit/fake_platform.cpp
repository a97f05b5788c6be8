#include "fake_platform.h"

#include <algorithm>

namespace snapwick::testing {

bool FakePlatform::Fails(const std::string& name, std::string detail) {
  calls.push_back({name, std::move(detail)});
  const int seen = ++seen_[name];
  const auto it = failures_.find(name);
  return it != failures_.end() && (it->second == 0 || it->second == seen);
}

std::vector<std::string> FakePlatform::Names() const {
  std::vector<std::string> names;
  for (const auto& c : calls) names.push_back(c.name);
  return names;
}

int FakePlatform::Count(const std::string& name) const {
  return static_cast<int>(
      std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

int FakePlatform::IndexOf(const std::string& name) const {
  const auto it =
      std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; });
  return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

std::string FakePlatform::FolderOf(std::string_view path) const {
  const auto at = path.rfind(separator);
  return std::string(at == std::string_view::npos ? std::string_view{} : path.substr(0, at));
}

bool FakePlatform::FolderExists(std::string_view path) const {
  return folders.count(std::string(path)) > 0;
}

// --- WindowApi ---

Status FakePlatform::SetTitle(std::string_view text) {
  if (Fails("SetTitle", std::string(text))) return Status::Failed;
  title = text;
  return Status::Ok;
}
std::optional<bool> FakePlatform::IsWindowShown() {
  if (Fails("IsWindowShown")) return std::nullopt;
  return shown;
}
Status FakePlatform::ShowWindow() {
  if (Fails("ShowWindow")) return Status::Failed;
  shown = true;
  minimised = false;
  return Status::Ok;
}
Status FakePlatform::HideWindow() {
  if (Fails("HideWindow")) return Status::Failed;
  shown = false;
  return Status::Ok;
}
Status FakePlatform::CloseWindow() { return StatusOf(!Fails("CloseWindow")); }
Status FakePlatform::PopUpTrayMenu() { return StatusOf(!Fails("PopUpTrayMenu")); }
Status FakePlatform::ShowMessage(std::string_view text, std::string_view caption) {
  if (Fails("ShowMessage", std::string(text) + " | " + std::string(caption))) {
    return Status::Failed;
  }
  messages.emplace_back(text);
  return Status::Ok;
}
Status FakePlatform::SetText(ControlId control, std::string_view text) {
  if (Fails("SetText", std::to_string(static_cast<int>(control)) + " " + std::string(text))) {
    return Status::Failed;
  }
  const bool changed = texts[control] != text;
  texts[control] = text;
  if (control == ControlId::QualityCombo && changed && onQualityEdited) onQualityEdited();
  return Status::Ok;
}
std::optional<std::string> FakePlatform::GetText(ControlId control) {
  if (Fails("GetText", std::to_string(static_cast<int>(control)))) return std::nullopt;
  return texts[control];
}
Status FakePlatform::AddQualityItem(int position, std::string_view text) {
  if (Fails("AddQualityItem", std::to_string(position) + " " + std::string(text))) {
    return Status::Failed;
  }
  const auto at = std::min<std::size_t>(static_cast<std::size_t>(position), qualityItems.size());
  qualityItems.insert(qualityItems.begin() + static_cast<std::ptrdiff_t>(at), std::string(text));
  return Status::Ok;
}
std::optional<bool> FakePlatform::IsSoundChecked() {
  if (Fails("IsSoundChecked")) return std::nullopt;
  return soundChecked;
}
Status FakePlatform::SetSoundChecked(bool checked) {
  if (Fails("SetSoundChecked", checked ? "1" : "0")) return Status::Failed;
  soundChecked = checked;
  return Status::Ok;
}

// --- TrayApi ---

Status FakePlatform::AddTrayIcon(std::string_view tip) {
  if (Fails("AddTrayIcon", std::string(tip))) return Status::Failed;
  trayIcon = std::string(tip);
  return Status::Ok;
}
Status FakePlatform::RemoveTrayIcon() {
  if (Fails("RemoveTrayIcon")) return Status::Failed;
  trayIcon.reset();
  return Status::Ok;
}

// --- KeyboardApi ---

HotkeyWatch FakePlatform::WatchHotkey(int virtualKey) {
  if (Fails("WatchHotkey", std::to_string(virtualKey))) return HotkeyWatch::None;
  watchedKey = virtualKey;
  return virtualKey == 0 ? HotkeyWatch::None : hotkeyWatch;
}
Status FakePlatform::SetKeyCapture(bool on) {
  if (Fails("SetKeyCapture", on ? "1" : "0")) return Status::Failed;
  capturingKeys = on;
  return Status::Ok;
}

// --- TimerApi ---

Status FakePlatform::SetTicking(bool on) {
  if (Fails("SetTicking", on ? "1" : "0")) return Status::Failed;
  if (on && !ticking) tickingSince = clock;
  ticking = on;
  return Status::Ok;
}

// --- ScreenApi ---

std::array<std::uint8_t, 3> FakePlatform::FramePixel(int grab, int x, int y) {
  // Blocks of colour that move from grab to grab, so that a file tells
  // which picture it holds.
  const int block = (x / 16 + y / 16 + grab) % 4;
  return {static_cast<std::uint8_t>(block * 80), static_cast<std::uint8_t>(255 - block * 60),
          static_cast<std::uint8_t>(40 + (grab % 5) * 50)};
}

ScreenGrab FakePlatform::GrabScreen() {
  if (Fails("GrabScreen")) return {};
  ++grabsAsked;
  if (grabsPending) return {ScreenGrab::State::Pending, {}};
  const auto frame = MakeFrame();
  if (!frame) return {};
  return {ScreenGrab::State::Ready, *frame};
}

std::optional<Frame> FakePlatform::FinishGrab() { return MakeFrame(); }

Status FakePlatform::SetScreenWanted(bool wanted) {
  if (Fails("SetScreenWanted", wanted ? "1" : "0")) return Status::Failed;
  screenWanted = wanted;
  return Status::Ok;
}

std::optional<Frame> FakePlatform::MakeFrame() {
  if (screenWidth <= 0 || screenHeight <= 0) return std::nullopt;
  ++grabs;
  grabTimes.push_back(clock);
  const int stride = screenWidth * 4 + 8;  // rows with padding behind them
  frame_.assign(static_cast<std::size_t>(stride) * screenHeight, 0xCC);
  // Where each colour goes in the pixel's four bytes.
  constexpr int kOffsets[][3] = {{0, 1, 2}, {2, 1, 0}, {3, 2, 1}, {1, 2, 3}};  // b, g, r
  const auto& at = kOffsets[static_cast<int>(layout)];
  for (int y = 0; y < screenHeight; ++y) {
    const int row = bottomUp ? screenHeight - 1 - y : y;
    for (int x = 0; x < screenWidth; ++x) {
      const auto bgr = FramePixel(grabs, x, y);
      std::uint8_t* px = &frame_[static_cast<std::size_t>(row) * stride + x * 4];
      for (int c = 0; c < 3; ++c) px[at[c]] = bgr[static_cast<std::size_t>(c)];
    }
  }
  return Frame{frame_.data(), screenWidth, screenHeight, stride, layout, bottomUp};
}

// --- FilesApi ---

Status FakePlatform::PrepareFolder(std::string_view path) {
  if (Fails("PrepareFolder", std::string(path))) return Status::Failed;
  if (!FolderExists(path) && !FolderExists(FolderOf(path))) return Status::Failed;
  folders.insert(std::string(path));
  return Status::Ok;
}
std::optional<FileHead> FakePlatform::ReadFile(std::string_view path,
                                               std::span<std::uint8_t> into) {
  if (Fails("ReadFile", std::string(path))) return std::nullopt;
  const auto it = files.find(std::string(path));
  if (it == files.end()) return std::nullopt;
  const std::size_t n = std::min(into.size(), it->second.size());
  std::copy_n(it->second.begin(), n, into.begin());
  return FileHead{n, static_cast<std::int64_t>(it->second.size())};
}
Status FakePlatform::WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  if (Fails("WriteFile", std::string(path))) return Status::Failed;
  if (!FolderExists(FolderOf(path))) return Status::Failed;
  files[std::string(path)].assign(bytes.begin(), bytes.end());
  return Status::Ok;
}
NewFile FakePlatform::WriteNewFile(std::string_view path,
                                   std::span<const std::span<const std::uint8_t>> parts) {
  if (Fails("WriteNewFile", std::string(path))) return NewFile::Failed;
  if (files.count(std::string(path)) || FolderExists(path)) return NewFile::NameTaken;
  if (!FolderExists(FolderOf(path))) return NewFile::Failed;
  auto& file = files[std::string(path)];
  for (const auto part : parts) file.insert(file.end(), part.begin(), part.end());
  return NewFile::Written;
}
Status FakePlatform::ReplaceFile(std::string_view from, std::string_view to) {
  if (Fails("ReplaceFile", std::string(from) + " -> " + std::string(to))) return Status::Failed;
  const auto it = files.find(std::string(from));
  if (it == files.end()) return Status::Failed;
  files[std::string(to)] = std::move(it->second);
  files.erase(std::string(from));
  return Status::Ok;
}
Status FakePlatform::DeleteFile(std::string_view path) {
  if (Fails("DeleteFile", std::string(path))) return Status::Failed;
  return StatusOf(files.erase(std::string(path)) > 0);
}

// --- SystemApi ---

bool FakePlatform::AnotherInstanceRunning() {
  Fails("AnotherInstanceRunning");
  return anotherInstance;
}
std::optional<std::string> FakePlatform::ProgramFolder() {
  if (Fails("ProgramFolder")) return std::nullopt;
  return programFolder;
}
std::optional<LocalDateTime> FakePlatform::LocalNow() {
  if (Fails("LocalNow")) return std::nullopt;
  return now;
}
Status FakePlatform::PlaySound(std::string_view path) {
  if (Fails("PlaySound", std::string(path))) return Status::Failed;
  soundsPlayed.emplace_back(path);
  return Status::Ok;
}
Status FakePlatform::OpenAddress(std::string_view address) {
  if (Fails("OpenAddress", std::string(address))) return Status::Failed;
  addressesOpened.emplace_back(address);
  return Status::Ok;
}
std::optional<std::string> FakePlatform::ToAnsi(std::string_view utf8) {
  if (Fails("ToAnsi", std::string(utf8))) return std::nullopt;
  return std::string(utf8);
}
std::string FakePlatform::FromAnsi(std::string_view ansi) {
  Fails("FromAnsi", std::string(ansi));
  return std::string(ansi);
}

}  // namespace snapwick::testing
