#pragma once
// A platform that keeps the system in memory, records every call in order,
// can make any single call fail, and counts what was taken and given back.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace snapwick::testing {

struct Call {
  std::string name;
  std::string detail;
};

class FakePlatform : public Platform {
 public:
  // --- recording and failing ---
  std::vector<Call> calls;
  // Makes the `occurrence`-th call (1-based) of `name` fail; 0: every call.
  void Fail(const std::string& name, int occurrence = 0) { failures_[name] = occurrence; }
  std::vector<std::string> Names() const;
  int Count(const std::string& name) const;
  // Position of the first call of `name` in `calls`, or -1.
  int IndexOf(const std::string& name) const;

  // --- resources: taken minus given back ---
  int screenDCs = 0;
  int gdiplusSessions = 0;
  int gdiplusBitmaps = 0;
  int openFiles = 0;

  // --- window ---
  Handle frmHandle = 0x1000;
  Handle frmIcon = 0x2000;
  std::string caption;
  bool visible = true;
  bool minimised = false;
  std::map<ControlId, std::string> texts;
  std::vector<std::string> comboItems;
  int check = 0;
  bool canvasPersistent = false;
  int canvasW = 25, canvasH = 25;
  Handle canvasDC = 0x3000;
  Handle canvasBitmap = 0x3001;
  // The combo's change event, raised when its text is set, as the real
  // control does; the test wires it to the handler.
  std::function<void()> onComboTextSet;

  // --- screen and keys ---
  int screenW = 1920, screenH = 1080;
  Handle screenDC = 0x4000;
  std::map<int, std::int16_t> keyStates;

  // --- shell ---
  bool previousInstance = false;
  std::optional<std::string> exeFolder = std::string("C:\\Tools");
  std::vector<std::pair<TrayOp, TrayData>> trayCalls;
  std::vector<std::string> soundsPlayed;
  std::vector<std::string> messages;

  // --- hook ---
  Handle hookHandle = 0x5000;
  KeyName keyName{2, "F5"};
  std::intptr_t nextHookResult = 77;

  // --- files: contents by path, and the folders that exist ---
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::set<std::string> folders{"C:\\Tools"};
  std::optional<std::int64_t> lengthOverride;

  // --- clock ---
  std::optional<LocalDateTime> now = LocalDateTime{2026, 12, 6, 11, 5, 13};

  // --- GDI+ ---
  GpStatus startupStatus = 0, createStatus = 0, saveStatus = 0;
  bool failedSaveLeavesFile = false;
  std::uint32_t savedQuality = 0;
  Guid savedEncoder;
  std::vector<std::u16string> savedPaths;

  // WindowApi
  Handle FrmHandle() override;
  std::optional<Handle> FrmIcon() override;
  Status SetFrmCaption(std::string_view text) override;
  std::optional<bool> FrmVisible() override;
  Status SetFrmVisible(bool v) override;
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
  Status ResizeCanvas(int w, int h) override;
  std::optional<Handle> CanvasDC() override;
  std::optional<Handle> CanvasImage() override;
  // ScreenApi
  int GetSystemMetrics(int index) override;
  Handle GetScreenDC() override;
  Status ReleaseScreenDC(Handle dc) override;
  Status BitBlt(Handle dest, int x, int y, int w, int h, Handle src, int sx, int sy,
                std::uint32_t rop) override;
  std::int16_t GetAsyncKeyState(int vk) override;
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
  Handle SetWindowsHookEx(int type, Handle instance, std::uint32_t threadId) override;
  Status UnhookWindowsHookEx(Handle hook) override;
  std::intptr_t CallNextHookEx(Handle hook, int code, std::intptr_t w, std::intptr_t l) override;
  KeyName GetKeyNameText(std::int32_t flags, int bufferSize) override;
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
  // Records the call and tells whether it is to fail.
  bool Fails(const std::string& name, std::string detail = {});
  static std::string Folder(std::string_view path);

  std::map<std::string, int> failures_;
  std::map<std::string, int> seen_;
  std::map<Handle, std::string> openPaths_;
  Handle nextFile_ = 0x9000;
};

}  // namespace snapwick::testing
