// The platform's keyboard, screen, files and system services.

#include <unistd.h>
#include <QDesktopServices>
#include <QUrl>
#include <ctime>

#include "platform/linux/files_posix.h"
#include "platform/x11/jpeg_file.h"
#include "platform/linux/windows1251.h"
#include "platform/linux/linux_platform.h"

namespace snapwick::linux {

// --- KeyboardApi ---

Status X11Platform::StartKeyCapture() {
  if (!keyCapture_) return Status::Failed;
  return keyCapture_->Start();
}

Status X11Platform::StopKeyCapture() {
  if (!keyCapture_) return Status::Failed;
  return keyCapture_->Stop();
}

bool X11Platform::IsKeyDown(int virtualKey) {
  return keys_.IsDown(virtualKey,
                      [this](std::span<const Keycode> codes, const KeyState::AskServer& downNow) {
                        return driver_.AskDown(codes, downNow);
                      });
}

// --- ScreenApi ---

std::optional<ScreenImage> X11Platform::GrabScreen() { return screen_.Grab(); }

JpegStatus X11Platform::WriteJpeg(const ScreenImage& image, std::string_view path,
                                  std::uint8_t quality) {
  const auto pixels = screen_.PixelsOf(image);
  if (!pixels) return jpeg::kInvalidArgument;
  if (strips_) return WriteJpegFile(encoder_, *strips_, *pixels, path, quality);
  return WriteJpegFile(encoder_, *pixels, path, quality);
}

// --- FilesApi ---

std::optional<std::int64_t> X11Platform::FileLength(std::string_view path) {
  return x11::FileLength(path);
}

bool X11Platform::Exists(std::string_view path) { return x11::Exists(path); }

Status X11Platform::CreateFolder(std::string_view path) { return x11::CreateFolder(path); }

Status X11Platform::DeleteFile(std::string_view path) { return x11::DeleteFile(path); }

Status X11Platform::ReplaceFile(std::string_view from, std::string_view to) {
  return x11::ReplaceFile(from, to);
}

std::optional<std::size_t> X11Platform::ReadFile(std::string_view path,
                                                 std::span<std::uint8_t> into) {
  return x11::ReadFile(path, into);
}

Status X11Platform::WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  return x11::WriteFile(path, bytes);
}

// --- SystemApi ---

bool X11Platform::AnotherInstanceRunning() { return instance_.AnotherRunning(); }

std::optional<std::string> X11Platform::ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  // The root keeps its separator, as a drive's root does on Windows.
  return path.substr(0, slash == 0 ? 1 : slash);
}

std::optional<LocalDateTime> X11Platform::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || !::localtime_r(&now, &local)) return std::nullopt;
  return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
}

Status X11Platform::PlaySound(std::string_view path) { return sound_.Play(path); }

Status X11Platform::OpenAddress(std::string_view address) {
  const QUrl url(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())));
  return StatusOf(url.isValid() && QDesktopServices::openUrl(url));
}

std::optional<std::string> X11Platform::ToAnsi(std::string_view utf8) {
  return ToWindows1251(utf8);
}

std::string X11Platform::FromAnsi(std::string_view ansi) { return FromWindows1251(ansi); }

}  // namespace snapwick::linux
