#pragma once
// The real platform: every call the program's logic makes, on Win32 and
// GDI+. Texts are UTF-8 in the interface and UTF-16 at the system, except
// where the program keeps the ANSI code page (key names, the tray tip).

#include "platform/win32/windows_inc.h"

#include <optional>
#include <string>

#include "platform/frm_events.h"
#include "platform/platform.h"
#include "platform/win32/single_instance_win.h"
#include "platform/win32/sound_win.h"
#include "platform/win32/window_win.h"

namespace snapwick::win32 {

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);

  // Creates the main window and raises its load event; false when the load
  // closed it.
  bool CreateMainWindow(FrmEvents& events) { return window_.Create(events); }
  void ShowMainWindow() { window_.ShowFirst(); }
  int RunMessageLoop() { return window_.RunMessageLoop(); }

  // WindowApi
  Handle FrmHandle() override;
  std::optional<Handle> FrmIcon() override;
  Status SetFrmCaption(std::string_view text) override;
  std::optional<bool> FrmVisible() override;
  Status SetFrmVisible(bool visible) override;
  Status RestoreFrm() override;
  Status PopupTrayMenu() override;
  Status CloseFrm() override;
  Status SetText(ControlId id, std::string_view text) override;
  std::optional<std::string> GetText(ControlId id) override;
  Status ComboAddItem(int position, std::string_view text) override;
  std::optional<int> CheckValue() override;
  Status SetCheckValue(int value) override;
  Status ClearCanvas() override;
  Status SetCanvasPersistent(bool on) override;
  Status ResizeCanvas(int widthPx, int heightPx) override;
  std::optional<Handle> CanvasDC() override;
  std::optional<Handle> CanvasImage() override;

  // ScreenApi
  int GetSystemMetrics(int index) override;
  Handle GetScreenDC() override;
  Status ReleaseScreenDC(Handle dc) override;
  Status BitBlt(Handle dest, int x, int y, int width, int height, Handle source, int sx, int sy,
                std::uint32_t rop) override;
  std::int16_t GetAsyncKeyState(int virtualKey) override;

  // ShellApi
  Status NotifyIcon(TrayOp op, const TrayData& data) override;
  Status SetForegroundWindow(Handle window) override;
  Status ShellOpen(std::string_view address) override;
  Status PlaySoundAsync(std::string_view path) override;
  Status MessageBoxInfo(std::string_view text, std::string_view title) override;
  std::optional<std::string> ToAnsi(std::string_view utf8) override;
  std::string FromAnsi(std::string_view ansi) override;
  bool PreviousInstanceRunning() override;
  std::optional<std::string> ExeFolder() override;
  Handle ModuleInstance() override;
  std::uint32_t CurrentThreadId() override;

  // HookApi
  Handle SetWindowsHookEx(int hookType, Handle instance, std::uint32_t threadId) override;
  Status UnhookWindowsHookEx(Handle hook) override;
  std::intptr_t CallNextHookEx(Handle hook, int code, std::intptr_t wParam,
                               std::intptr_t lParam) override;
  KeyName GetKeyNameText(std::int32_t keyFlags, int bufferSize) override;

  // FilesApi
  std::optional<std::int64_t> FileLength(std::string_view path) override;
  bool FileExists(std::string_view path) override;
  Status CreateFolder(std::string_view path) override;
  Status DeleteFile(std::string_view path) override;
  Status ReplaceFile(std::string_view from, std::string_view to) override;
  std::optional<Handle> OpenForRead(std::string_view path) override;
  std::optional<Handle> CreateForWrite(std::string_view path) override;
  std::optional<std::size_t> ReadAt(Handle file, std::int64_t offset,
                                    std::span<std::uint8_t> into) override;
  Status WriteAt(Handle file, std::int64_t offset, std::span<const std::uint8_t> bytes) override;
  Status CloseFile(Handle file) override;

  // ClockApi
  std::optional<LocalDateTime> LocalNow() override;

  // GdiplusApi
  GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput& input) override;
  GpStatus GdipCreateBitmapFromHBITMAP(Handle hbitmap, Handle palette, Handle* bitmap) override;
  std::int32_t CLSIDFromString(const std::u16string& text, Guid* clsid) override;
  GpStatus GdipSaveImageToFile(Handle image, const std::u16string& path, const Guid& encoder,
                               const EncoderParameters& params) override;
  GpStatus GdipDisposeImage(Handle image) override;
  void GdiplusShutdown(std::uintptr_t token) override;

 private:
  HINSTANCE instance_;
  MainWindow window_;
  SingleInstance singleInstance_;
  SoundPlayer sound_;
};

// Win32 handles travel through the interface as plain numbers.
template <typename T>
T ToWin(Handle h) {
  return reinterpret_cast<T>(h);
}
template <typename T>
Handle FromWin(T h) {
  return reinterpret_cast<Handle>(h);
}

}  // namespace snapwick::win32
