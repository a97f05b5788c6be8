#pragma once
// Owners of Win32 handles, so that every early way out gives back what was
// taken.

#include <utility>

#include "platform/win32/windows_inc.h"

#include <objbase.h>

namespace snapwick::win32 {

// Owns one GDI object (bitmap, font, brush) and deletes it.
template <typename T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T handle) : h_(handle) {}
  ~GdiObject() { Reset(); }
  GdiObject(GdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  GdiObject& operator=(GdiObject&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  T Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset(T handle = nullptr) {
    if (h_) ::DeleteObject(h_);
    h_ = handle;
  }

 private:
  T h_ = nullptr;
};

using Bitmap = GdiObject<HBITMAP>;
using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;

// A memory device context made with CreateCompatibleDC.
class MemoryDC {
 public:
  MemoryDC() = default;
  explicit MemoryDC(HDC dc) : dc_(dc) {}
  ~MemoryDC() { Reset(); }
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }
  void Reset(HDC dc = nullptr) {
    if (dc_) ::DeleteDC(dc_);
    dc_ = dc;
  }

 private:
  HDC dc_ = nullptr;
};

// A device context borrowed with GetDC and given back with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDC() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~Selection() {
    if (Ok()) ::SelectObject(dc_, old_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  bool Ok() const { return old_ && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// A kernel handle (file, mutex) closed with CloseHandle.
class KernelHandle {
 public:
  KernelHandle() = default;
  explicit KernelHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~KernelHandle() { Reset(); }
  KernelHandle(KernelHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  KernelHandle& operator=(KernelHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;

  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  // Hands the handle over to the caller, who closes it.
  HANDLE Detach() { return std::exchange(h_, nullptr); }
  void Reset() {
    if (h_) ::CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

// A menu that is not attached to a window, destroyed with DestroyMenu.
class Menu {
 public:
  Menu() = default;
  ~Menu() { Reset(); }
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;
  HMENU Get() const { return h_; }
  void Reset(HMENU menu = nullptr) {
    if (h_) ::DestroyMenu(h_);
    h_ = menu;
  }

 private:
  HMENU h_ = nullptr;
};

// An icon made for the program alone (not a shared one from LoadImage's
// LR_SHARED), destroyed with DestroyIcon.
class OwnedIcon {
 public:
  OwnedIcon() = default;
  explicit OwnedIcon(HICON icon) : h_(icon) {}
  ~OwnedIcon() { Reset(); }
  OwnedIcon(const OwnedIcon&) = delete;
  OwnedIcon& operator=(const OwnedIcon&) = delete;
  HICON Get() const { return h_; }
  void Reset(HICON icon = nullptr) {
    if (h_) ::DestroyIcon(h_);
    h_ = icon;
  }

 private:
  HICON h_ = nullptr;
};

// COM on the calling thread, in a single-threaded apartment, for as long as
// the object lives; left alone where the thread had it in another mode.
class ComApartment {
 public:
  ComApartment()
      : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

}  // namespace snapwick::win32
