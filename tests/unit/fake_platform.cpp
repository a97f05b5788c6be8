#include "fake_platform.h"

#include <algorithm>
#include <cstring>

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

std::string FakePlatform::Folder(std::string_view path) {
  const auto slash = path.rfind('\\');
  return std::string(slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash));
}

namespace {

Status StatusOf(bool failed) { return failed ? Status::Failed : Status::Ok; }

// Enough of UTF-16 to UTF-8 for the paths of the tests (no surrogates).
std::string Narrow(const std::u16string& wide) {
  std::string out;
  for (const char16_t c : wide) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

// --- WindowApi ---

Handle FakePlatform::FrmHandle() {
  Fails("FrmHandle");
  return frmHandle;
}
std::optional<Handle> FakePlatform::FrmIcon() {
  if (Fails("FrmIcon")) return std::nullopt;
  return frmIcon;
}
Status FakePlatform::SetFrmCaption(std::string_view text) {
  if (Fails("SetFrmCaption", std::string(text))) return Status::Failed;
  caption = text;
  return Status::Ok;
}
std::optional<bool> FakePlatform::FrmVisible() {
  if (Fails("FrmVisible")) return std::nullopt;
  return visible;
}
Status FakePlatform::SetFrmVisible(bool v) {
  if (Fails("SetFrmVisible", v ? "true" : "false")) return Status::Failed;
  visible = v;
  return Status::Ok;
}
Status FakePlatform::RestoreFrm() {
  if (Fails("RestoreFrm")) return Status::Failed;
  minimised = false;
  return Status::Ok;
}
Status FakePlatform::PopupTrayMenu() { return StatusOf(Fails("PopupTrayMenu")); }
Status FakePlatform::CloseFrm() { return StatusOf(Fails("CloseFrm")); }

Status FakePlatform::SetText(ControlId id, std::string_view text) {
  if (Fails("SetText", std::to_string(static_cast<int>(id)) + ":" + std::string(text))) {
    return Status::Failed;
  }
  const bool changed = texts[id] != text;
  texts[id] = text;
  if (id == ControlId::Cmb && changed && onComboTextSet) onComboTextSet();
  return Status::Ok;
}
std::optional<std::string> FakePlatform::GetText(ControlId id) {
  if (Fails("GetText", std::to_string(static_cast<int>(id)))) return std::nullopt;
  return texts[id];
}
Status FakePlatform::ComboAddItem(int position, std::string_view text) {
  if (Fails("ComboAddItem", std::string(text))) return Status::Failed;
  comboItems.insert(comboItems.begin() + std::min<std::size_t>(position, comboItems.size()),
                    std::string(text));
  return Status::Ok;
}
std::optional<int> FakePlatform::CheckValue() {
  if (Fails("CheckValue")) return std::nullopt;
  return check;
}
Status FakePlatform::SetCheckValue(int value) {
  if (Fails("SetCheckValue", std::to_string(value))) return Status::Failed;
  check = value;
  return Status::Ok;
}
Status FakePlatform::ClearCanvas() { return StatusOf(Fails("ClearCanvas")); }
Status FakePlatform::SetCanvasPersistent(bool on) {
  if (Fails("SetCanvasPersistent")) return Status::Failed;
  canvasPersistent = on;
  return Status::Ok;
}
Status FakePlatform::ResizeCanvas(int w, int h) {
  if (Fails("ResizeCanvas", std::to_string(w) + "x" + std::to_string(h))) return Status::Failed;
  canvasW = w;
  canvasH = h;
  return Status::Ok;
}
std::optional<Handle> FakePlatform::CanvasDC() {
  if (Fails("CanvasDC")) return std::nullopt;
  return canvasDC;
}
std::optional<Handle> FakePlatform::CanvasImage() {
  if (Fails("CanvasImage")) return std::nullopt;
  return canvasBitmap;
}

// --- ScreenApi ---

int FakePlatform::GetSystemMetrics(int index) {
  if (Fails("GetSystemMetrics", std::to_string(index))) return 0;
  return index == kSmCxScreen ? screenW : index == kSmCyScreen ? screenH : 0;
}
Handle FakePlatform::GetScreenDC() {
  if (Fails("GetScreenDC")) return 0;
  ++screenDCs;
  return screenDC;
}
Status FakePlatform::ReleaseScreenDC(Handle dc) {
  if (Fails("ReleaseScreenDC") || dc != screenDC) return Status::Failed;
  --screenDCs;
  return Status::Ok;
}
Status FakePlatform::BitBlt(Handle dest, int x, int y, int w, int h, Handle src, int sx, int sy,
                            std::uint32_t rop) {
  char detail[160];
  std::snprintf(detail, sizeof detail, "%#llx %d,%d %dx%d from %#llx %d,%d rop %#x",
                static_cast<unsigned long long>(dest), x, y, w, h,
                static_cast<unsigned long long>(src), sx, sy, rop);
  return StatusOf(Fails("BitBlt", detail));
}
std::int16_t FakePlatform::GetAsyncKeyState(int vk) {
  if (Fails("GetAsyncKeyState", std::to_string(vk))) return 0;
  const auto it = keyStates.find(vk);
  return it == keyStates.end() ? 0 : it->second;
}

// --- ShellApi ---

Status FakePlatform::NotifyIcon(TrayOp op, const TrayData& data) {
  if (Fails("NotifyIcon", op == TrayOp::Add ? "Add" : "Delete")) return Status::Failed;
  trayCalls.emplace_back(op, data);
  return Status::Ok;
}
Status FakePlatform::SetForegroundWindow(Handle window) {
  return StatusOf(Fails("SetForegroundWindow", std::to_string(window)));
}
Status FakePlatform::ShellOpen(std::string_view address) {
  return StatusOf(Fails("ShellOpen", std::string(address)));
}
Status FakePlatform::PlaySoundAsync(std::string_view path) {
  if (Fails("PlaySoundAsync", std::string(path))) return Status::Failed;
  soundsPlayed.emplace_back(path);
  return Status::Ok;
}
Status FakePlatform::MessageBoxInfo(std::string_view text, std::string_view title) {
  if (Fails("MessageBoxInfo", std::string(title))) return Status::Failed;
  messages.emplace_back(text);
  return Status::Ok;
}
std::optional<std::string> FakePlatform::ToAnsi(std::string_view utf8) {
  if (Fails("ToAnsi")) return std::nullopt;
  return std::string(utf8);
}
std::string FakePlatform::FromAnsi(std::string_view ansi) {
  Fails("FromAnsi");
  return std::string(ansi);
}
bool FakePlatform::PreviousInstanceRunning() {
  Fails("PreviousInstanceRunning");
  return previousInstance;
}
std::optional<std::string> FakePlatform::ExeFolder() {
  if (Fails("ExeFolder")) return std::nullopt;
  return exeFolder;
}
Handle FakePlatform::ModuleInstance() {
  Fails("ModuleInstance");
  return 0x400000;
}
std::uint32_t FakePlatform::CurrentThreadId() {
  Fails("CurrentThreadId");
  return 42;
}

// --- HookApi ---

Handle FakePlatform::SetWindowsHookEx(int type, Handle instance, std::uint32_t threadId) {
  if (Fails("SetWindowsHookEx", std::to_string(type) + " " + std::to_string(instance) + " " +
                                    std::to_string(threadId))) {
    return 0;
  }
  return hookHandle;
}
Status FakePlatform::UnhookWindowsHookEx(Handle hook) {
  return StatusOf(Fails("UnhookWindowsHookEx", std::to_string(hook)));
}
std::intptr_t FakePlatform::CallNextHookEx(Handle hook, int code, std::intptr_t w,
                                           std::intptr_t l) {
  Fails("CallNextHookEx", std::to_string(hook) + " " + std::to_string(code) + " " +
                              std::to_string(w) + " " + std::to_string(l));
  return nextHookResult;
}
KeyName FakePlatform::GetKeyNameText(std::int32_t flags, int bufferSize) {
  if (Fails("GetKeyNameText", std::to_string(flags) + " " + std::to_string(bufferSize))) return {};
  return keyName;
}

// --- FilesApi ---

std::optional<std::int64_t> FakePlatform::FileLength(std::string_view path) {
  if (Fails("FileLength", std::string(path))) return std::nullopt;
  if (lengthOverride) return lengthOverride;
  const auto it = files.find(std::string(path));
  if (it == files.end()) return std::nullopt;
  return static_cast<std::int64_t>(it->second.size());
}
bool FakePlatform::FileExists(std::string_view path) {
  if (Fails("FileExists", std::string(path))) return false;
  return files.count(std::string(path)) != 0;
}
Status FakePlatform::CreateFolder(std::string_view path) {
  if (Fails("CreateFolder", std::string(path))) return Status::Failed;
  if (!folders.count(Folder(path)) || folders.count(std::string(path))) return Status::Failed;
  folders.insert(std::string(path));
  return Status::Ok;
}
Status FakePlatform::DeleteFile(std::string_view path) {
  if (Fails("DeleteFile", std::string(path))) return Status::Failed;
  return StatusOf(files.erase(std::string(path)) == 0);
}
Status FakePlatform::ReplaceFile(std::string_view from, std::string_view to) {
  if (Fails("ReplaceFile", std::string(from) + " -> " + std::string(to))) return Status::Failed;
  const auto it = files.find(std::string(from));
  if (it == files.end()) return Status::Failed;
  files[std::string(to)] = it->second;
  files.erase(it);
  return Status::Ok;
}
std::optional<Handle> FakePlatform::OpenForRead(std::string_view path) {
  if (Fails("OpenForRead", std::string(path)) || !files.count(std::string(path))) {
    return std::nullopt;
  }
  ++openFiles;
  openPaths_[++nextFile_] = path;
  return nextFile_;
}
std::optional<Handle> FakePlatform::CreateForWrite(std::string_view path) {
  if (Fails("CreateForWrite", std::string(path)) || !folders.count(Folder(path))) {
    return std::nullopt;
  }
  files[std::string(path)].clear();
  ++openFiles;
  openPaths_[++nextFile_] = path;
  return nextFile_;
}
std::optional<std::size_t> FakePlatform::ReadAt(Handle file, std::int64_t offset,
                                                std::span<std::uint8_t> into) {
  if (Fails("ReadAt", std::to_string(offset)) || !openPaths_.count(file)) return std::nullopt;
  const auto& bytes = files[openPaths_[file]];
  const auto start = std::min<std::size_t>(static_cast<std::size_t>(offset), bytes.size());
  const auto n = std::min(into.size(), bytes.size() - start);
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(start), n, into.begin());
  return n;
}
Status FakePlatform::WriteAt(Handle file, std::int64_t offset,
                             std::span<const std::uint8_t> bytes) {
  if (Fails("WriteAt") || !openPaths_.count(file)) return Status::Failed;
  auto& contents = files[openPaths_[file]];
  const auto end = static_cast<std::size_t>(offset) + bytes.size();
  if (contents.size() < end) contents.resize(end);
  std::copy(bytes.begin(), bytes.end(), contents.begin() + offset);
  return Status::Ok;
}
Status FakePlatform::CloseFile(Handle file) {
  // A failed close still gives the handle back, as the system does.
  const bool failed = Fails("CloseFile");
  if (openPaths_.erase(file)) --openFiles;
  return StatusOf(failed);
}

// --- ClockApi ---

std::optional<LocalDateTime> FakePlatform::LocalNow() {
  if (Fails("LocalNow")) return std::nullopt;
  return now;
}

// --- GdiplusApi ---

GpStatus FakePlatform::GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput& input) {
  Fails("GdiplusStartup", std::to_string(input.GdiplusVersion));
  if (startupStatus != 0) return startupStatus;
  ++gdiplusSessions;
  *token = 0xABC;
  return 0;
}
GpStatus FakePlatform::GdipCreateBitmapFromHBITMAP(Handle hbitmap, Handle palette,
                                                   Handle* bitmap) {
  Fails("GdipCreateBitmapFromHBITMAP", std::to_string(hbitmap) + " " + std::to_string(palette));
  if (createStatus != 0) return createStatus;
  ++gdiplusBitmaps;
  *bitmap = 0xB17;
  return 0;
}
std::int32_t FakePlatform::CLSIDFromString(const std::u16string& text, Guid* clsid) {
  Fails("CLSIDFromString", Narrow(text));
  *clsid = Guid{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  return 0;
}
GpStatus FakePlatform::GdipSaveImageToFile(Handle image, const std::u16string& path,
                                           const Guid& encoder, const EncoderParameters& params) {
  Fails("GdipSaveImageToFile", std::to_string(image));
  savedPaths.push_back(path);
  savedEncoder = encoder;
  savedQuality = params.count == 1 && params.parameter[0].value
                     ? *static_cast<const std::uint32_t*>(params.parameter[0].value)
                     : 0;
  const std::string narrow = Narrow(path);
  if (saveStatus == 0) {
    if (!folders.count(Folder(narrow))) return 7;  // Win32Error: no such folder
    files[narrow] = {0xFF, 0xD8, 0xFF, 0xD9};
  } else if (failedSaveLeavesFile) {
    files[narrow] = {0xFF, 0xD8};
  }
  return saveStatus;
}
GpStatus FakePlatform::GdipDisposeImage(Handle image) {
  Fails("GdipDisposeImage", std::to_string(image));
  --gdiplusBitmaps;
  return 0;
}
void FakePlatform::GdiplusShutdown(std::uintptr_t token) {
  Fails("GdiplusShutdown", std::to_string(token));
  --gdiplusSessions;
}

}  // namespace snapwick::testing
