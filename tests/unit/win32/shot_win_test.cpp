// Shots of the real screen made by the program's own capture over the
// Win32 layer: the frame's rows and colours as the JPEG shows them, in
// folders with Cyrillic letters and longer than MAX_PATH, in one strip and
// in two, and a shot's name held by a folder.

#include "platform/win32/windows_inc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture.h"
#include "decoded_jpeg.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"
#include "state/app_state.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using snapwick::testing::DecodeJpeg;
using testing::PumpUntil;
using testing::TempFolder;

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.Get(), &size)) return bytes;
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

// Files of the folder, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW(SystemPath(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(Narrow(name));
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

// A window on the real screen in two colours, upper and lower half, so
// that a frame read upside down shows them swapped.
class TwoColourWindow {
 public:
  static constexpr RECT kAt{300, 200, 400, 300};
  static constexpr COLORREF kUpper = RGB(220, 30, 30);
  static constexpr COLORREF kLower = RGB(30, 30, 220);

  TwoColourWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SnapwickTestTwoColours";
    ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
    ::RegisterClassW(&wc);
    window_ = ::CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                kAt.left, kAt.top, kAt.right - kAt.left, kAt.bottom - kAt.top,
                                nullptr, nullptr, wc.hInstance, nullptr);
    ::UpdateWindow(window_);
  }
  ~TwoColourWindow() { ::DestroyWindow(window_); }
  TwoColourWindow(const TwoColourWindow&) = delete;
  TwoColourWindow& operator=(const TwoColourWindow&) = delete;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_ERASEBKGND) return ::DefWindowProcW(window, msg, wParam, lParam);
    RECT r{};
    ::GetClientRect(window, &r);
    const RECT upper{0, 0, r.right, r.bottom / 2};
    const RECT lower{0, r.bottom / 2, r.right, r.bottom};
    const Brush top(::CreateSolidBrush(kUpper));
    const Brush bottom(::CreateSolidBrush(kLower));
    ::FillRect(reinterpret_cast<HDC>(wParam), &upper, top.Get());
    ::FillRect(reinterpret_cast<HDC>(wParam), &lower, bottom.Get());
    return 1;
  }

  HWND window_ = nullptr;
};

bool Near(const std::uint8_t* bgrx, COLORREF want) {
  const auto close = [](int a, int b) { return a - b < 24 && b - a < 24; };
  return close(bgrx[2], GetRValue(want)) && close(bgrx[1], GetGValue(want)) &&
         close(bgrx[0], GetBValue(want));
}

class ShotTest : public ::testing::TestWithParam<bool> {
 public:
  ShotTest() : capture(GetParam()) {
    state.quality = 80;
    state.soundOn = 0;
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  Capture capture;
  AppState state;
};

TEST_P(ShotTest, RealScreen_WholeJpegOfItTheRightWayUpInOddFolders) {
  const TwoColourWindow shown;
  // Wine hands a window's pixels to the X server a little later.
  ASSERT_TRUE(PumpUntil([&] {
    const auto grab = p.GrabScreen();
    const Frame& frame = grab.frame;
    return grab.state == ScreenGrab::State::Ready &&
           Near(frame.pixels + (frame.height - 1 - 220) * frame.stride + 350 * 4,
                TwoColourWindow::kUpper);
  }));
  const TempFolder cyrillic;
  const TempFolder deep(TempFolder::Depth::Deep);
  for (const TempFolder* folder : {&cyrillic, &deep}) {
    state.picFolder = folder->Utf8();
    ASSERT_EQ(capture.CaptureScreen(p, state), std::nullopt) << folder->Utf8().size();
    const auto names = Names(folder->Utf8());
    ASSERT_EQ(names.size(), 1u) << ::testing::PrintToString(names);
    const auto jpeg = DecodeJpeg(ReadWhole(folder->Utf8(names[0])));
    ASSERT_FALSE(jpeg.bgrx.empty()) << names[0] << " does not decode";
    EXPECT_EQ(jpeg.width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(jpeg.height, ::GetSystemMetrics(SM_CYSCREEN));
    const auto at = [&](int x, int y) {
      return &jpeg.bgrx[(static_cast<std::size_t>(y) * jpeg.width + x) * 4];
    };
    EXPECT_TRUE(Near(at(350, 220), TwoColourWindow::kUpper)) << "the upper half, upside down?";
    EXPECT_TRUE(Near(at(350, 280), TwoColourWindow::kLower)) << "the lower half, upside down?";
    EXPECT_FALSE(Near(at(290, 220), TwoColourWindow::kUpper)) << "the picture is shifted";
  }
}

TEST_P(ShotTest, NameHeldByAFolder_LeftAloneAndTheShotTakesTheNextCounter) {
  const TempFolder folder;
  state.picFolder = folder.Utf8();
  ASSERT_EQ(capture.CaptureScreen(p, state), std::nullopt);
  const auto first = Names(folder.Utf8());
  ASSERT_EQ(first.size(), 1u);
  // The next name, as the next shot would take it, held by a folder: the
  // first shot's name with counter 2 in the same second or the next.
  const std::string taken = first[0].substr(0, first[0].rfind('_')) + "_2.jpg";
  ASSERT_TRUE(::CreateDirectoryW(SystemPath(folder.Utf8(taken)).c_str(), nullptr));
  ASSERT_EQ(capture.CaptureScreen(p, state), std::nullopt);
  const auto after = Names(folder.Utf8());
  // The first shot, the folder, and the second shot under a name of its
  // own (counter 3 when the clock still showed the first shot's second).
  EXPECT_EQ(after.size(), 3u) << ::testing::PrintToString(after);
  EXPECT_TRUE(Names(folder.Utf8(taken)).empty()) << "something was written into the folder";
}

INSTANTIATE_TEST_SUITE_P(Strips, ShotTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TwoStrips" : "OneStrip"; });

}  // namespace
}  // namespace snapwick::win32
