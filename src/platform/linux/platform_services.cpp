// The platform's keyboard, screen, files and system services.

#include <unistd.h>
#include <QDesktopServices>
#include <QUrl>
#include <ctime>

#include "platform/linux/files_posix.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/windows1251.h"

namespace snapwick::linux {

// --- KeyboardApi ---

HotkeyWatch LinuxPlatform::WatchHotkey(int virtualKey) {
  if (!parts_.hotkey) return HotkeyWatch::None;
  const HotkeyWatch how = parts_.hotkey->Watch(virtualKey);
  // What the source has to tell of this key, it tells from the event loop.
  DispatchLater();
  return how;
}

Status LinuxPlatform::SetKeyCapture(bool on) {
  if (!keyCapture_) return Status::Failed;
  return on ? keyCapture_->Start() : keyCapture_->Stop();
}

// --- ScreenApi ---

ScreenGrab LinuxPlatform::GrabScreen() {
  if (!parts_.screen) return {};
  return parts_.screen->Grab();
}

Status LinuxPlatform::SetScreenWanted(bool wanted) {
  if (!parts_.screen) return Status::Failed;
  parts_.screen->SetWanted(wanted);
  return Status::Ok;
}

// --- FilesApi ---

Status LinuxPlatform::PrepareFolder(std::string_view path) { return linux::PrepareFolder(path); }

std::optional<FileHead> LinuxPlatform::ReadFile(std::string_view path,
                                                std::span<std::uint8_t> into) {
  return linux::ReadFile(path, into);
}

Status LinuxPlatform::WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  return linux::WriteFile(path, bytes);
}

NewFile LinuxPlatform::WriteNewFile(std::string_view path,
                                    std::span<const std::span<const std::uint8_t>> parts) {
  return linux::WriteNewFile(path, parts);
}

Status LinuxPlatform::ReplaceFile(std::string_view from, std::string_view to) {
  return linux::ReplaceFile(from, to);
}

Status LinuxPlatform::DeleteFile(std::string_view path) { return linux::DeleteFile(path); }

// --- SystemApi ---

bool LinuxPlatform::AnotherInstanceRunning() {
  const bool another = instance_.AnotherRunning();
  // Only the copy that holds the lock: a socket's file found then is a
  // killed copy's. A copy that runs without the lock (its file could not be
  // made) may be one of two, and takes no door from the other.
  if (!another) OpenKeyDoor();
  return another;
}

std::optional<std::string> LinuxPlatform::ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  // The root keeps its separator, as a drive's root does on Windows.
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::optional<LocalDateTime> LinuxPlatform::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || !::localtime_r(&now, &local)) return std::nullopt;
  return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
}

Status LinuxPlatform::PlaySound(std::string_view path) { return sound_.Play(path); }

Status LinuxPlatform::OpenAddress(std::string_view address) {
  const QUrl url(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())));
  return StatusOf(url.isValid() && QDesktopServices::openUrl(url));
}

std::optional<std::string> LinuxPlatform::ToAnsi(std::string_view utf8) {
  return ToWindows1251(utf8);
}

std::string LinuxPlatform::FromAnsi(std::string_view ansi) { return FromWindows1251(ansi); }

}  // namespace snapwick::linux
