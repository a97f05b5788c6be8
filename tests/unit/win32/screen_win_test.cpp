// Copies of the screen: what the grabber makes of a screen that cannot be
// copied, the bitmap it keeps and the frame it hands to the program, copied
// whole or in bands, which of the two it picks, and real copies under Wine.

#include <gtest/gtest.h>

#include <vector>

#include "fake_screen_win.h"
#include "platform/win32/screen_win.h"
#include "platform/win32/win32_platform.h"
#include "quiet_events.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::FakeScreen;
using testing::kBottom;
using testing::kTop;
using testing::PumpUntil;

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  ::GetObjectW(bitmap, sizeof(info), &info);
  return {info.bmWidth, info.bmHeight};
}

TEST(ScreenGrabber, FakeScreen_CopiedWholeIntoTheBitmapSelectedInItsDc) {
  FakeScreen screen;
  ScreenGrabber grabber(FakeScreen::Calls());
  const auto frame = grabber.Grab();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->width, 64);
  EXPECT_EQ(frame->height, 32);
  HBITMAP bitmap = grabber.BitmapOfLatest();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(::GetCurrentObject(grabber.Dc(), OBJ_BITMAP), bitmap);
  const SIZE size = BitmapSize(bitmap);
  EXPECT_EQ(size.cx, 64);
  EXPECT_EQ(size.cy, 32);
  // Corners of both halves: the copy starts at the screen's origin and
  // covers all of it, the right way up.
  EXPECT_EQ(::GetPixel(grabber.Dc(), 0, 0), kTop);
  EXPECT_EQ(::GetPixel(grabber.Dc(), 63, 15), kTop);
  EXPECT_EQ(::GetPixel(grabber.Dc(), 0, 16), kBottom);
  EXPECT_EQ(::GetPixel(grabber.Dc(), 63, 31), kBottom);
  // The frame is the same pixels in memory: bottom row first, blue, green,
  // red and a spare byte each, no padding between rows.
  EXPECT_EQ(frame->stride, 64 * 4);
  EXPECT_TRUE(frame->bottomUp);
  EXPECT_EQ(frame->layout, PixelLayout::Bgrx);
  const auto rgb = [&](int row, int x) {
    const std::uint8_t* p = frame->pixels + row * frame->stride + x * 4;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_EQ(rgb(0, 0), kBottom);
  EXPECT_EQ(rgb(15, 63), kBottom);
  EXPECT_EQ(rgb(16, 0), kTop);
  EXPECT_EQ(rgb(31, 63), kTop);
  EXPECT_EQ(screen.dcsTaken, 1);
  EXPECT_EQ(screen.dcsGivenBack, 1);
}

// Every pixel of the detail picture, read from the frame, against the
// picture; the number of pixels that differ.
int WrongPixels(const FakeScreen& screen, const Frame& frame) {
  int wrong = 0;
  for (int y = 0; y < frame.height; ++y) {
    const std::uint8_t* row = frame.pixels + (frame.height - 1 - y) * frame.stride;
    for (int x = 0; x < frame.width; ++x) {
      const std::uint8_t* p = row + x * 4;
      const std::uint32_t got = (p[2] << 16) | (p[1] << 8) | p[0];
      if (got != screen.Detail()[static_cast<std::size_t>(y) * frame.width + x]) ++wrong;
    }
  }
  return wrong;
}

TEST(ScreenGrabber, WholeOrInBands_EveryPixelInPlaceBandsWithinTheirBytes) {
  const struct {
    CopyMode mode;
    int width, height, copies;
  } cases[] = {
      {CopyMode::Whole, 1000, 300, 1},
      // 65 rows of 4,000 bytes fit in 256 KiB: bands of 65 and a last of 40.
      {CopyMode::Bands, 1000, 300, 5},
      {CopyMode::Bands, 1000, 65, 1},
      // A row wider than a band still goes one row at a time.
      {CopyMode::Bands, 70000, 3, 3},
  };
  for (const auto& c : cases) {
    FakeScreen screen;
    screen.Resize(c.width, c.height);
    screen.PaintDetail();
    ScreenGrabber grabber(FakeScreen::Calls());
    grabber.SetMode(c.mode);
    const auto frame = grabber.Grab();
    ASSERT_TRUE(frame) << c.width;
    EXPECT_EQ(screen.copies, c.copies) << c.width << "x" << c.height;
    if (c.mode == CopyMode::Bands && screen.largestCopyRows > 1) {
      EXPECT_LE(screen.largestCopyRows * c.width * 4, kBandBytes) << c.width;
    }
    EXPECT_EQ(WrongPixels(screen, *frame), 0) << c.width << "x" << c.height;
    EXPECT_EQ(screen.dcsTaken, 1);
    EXPECT_EQ(screen.dcsGivenBack, 1);
  }
}

TEST(ScreenGrabber, LaterBandFails_NothingNoFurtherBandsAndTheDcGivenBack) {
  FakeScreen screen;
  screen.Resize(1000, 300);
  ScreenGrabber grabber(FakeScreen::Calls());
  ASSERT_TRUE(grabber.Grab());
  const int bands = screen.copies;
  ASSERT_GT(bands, 2);
  screen.copies = 0;
  screen.failingCopy = 2;
  EXPECT_EQ(grabber.Grab(), std::nullopt);
  EXPECT_EQ(screen.copies, 2) << "bands copied after the one that failed";
  EXPECT_EQ(grabber.BitmapOfLatest(), nullptr) << "a half-copied bitmap still counts";
  EXPECT_EQ(screen.dcsTaken, screen.dcsGivenBack);
}

TEST(ScreenGrabber, NoScreenDcNoSizeOrFailedCopy_NothingAndNoStaleFrame) {
  const struct {
    const char* name;
    void (*breakIt)(FakeScreen&);
  } cases[] = {
      {"no screen DC", [](FakeScreen& s) { s.noDc = true; }},
      {"no width", [](FakeScreen& s) { s.Resize(0, 32); }},
      {"no height", [](FakeScreen& s) { s.Resize(64, 0); }},
      {"negative size", [](FakeScreen& s) { s.Resize(-64, -32); }},
      {"copy fails", [](FakeScreen& s) { s.copyFails = true; }},
  };
  for (const CopyMode mode : {CopyMode::Whole, CopyMode::Bands}) {
    for (const auto& c : cases) {
      FakeScreen screen;
      ScreenGrabber grabber(FakeScreen::Calls());
      grabber.SetMode(mode);
      ASSERT_TRUE(grabber.Grab()) << c.name;
      c.breakIt(screen);
      EXPECT_EQ(grabber.Grab(), std::nullopt) << c.name;
      EXPECT_EQ(grabber.BitmapOfLatest(), nullptr) << c.name;
      EXPECT_EQ(screen.dcsTaken, screen.dcsGivenBack) << c.name << ": a screen DC kept";
    }
  }
}

TEST(ScreenGrabber, SameSizeAgain_SameBitmap_OtherSize_BitmapOfThatSize) {
  FakeScreen screen;
  ScreenGrabber grabber(FakeScreen::Calls());
  const auto first = grabber.Grab();
  ASSERT_TRUE(first);
  HBITMAP bitmap = grabber.BitmapOfLatest();
  const auto second = grabber.Grab();
  ASSERT_TRUE(second);
  EXPECT_EQ(grabber.BitmapOfLatest(), bitmap) << "the bitmap is made anew for the same size";
  EXPECT_EQ(second->pixels, first->pixels);

  screen.Resize(48, 40);
  const auto third = grabber.Grab();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->width, 48);
  EXPECT_EQ(third->height, 40);
  EXPECT_EQ(third->stride, 48 * 4);
  HBITMAP resized = grabber.BitmapOfLatest();
  ASSERT_NE(resized, nullptr);
  const SIZE size = BitmapSize(resized);
  EXPECT_EQ(size.cx, 48);
  EXPECT_EQ(size.cy, 40);
  EXPECT_EQ(::GetCurrentObject(grabber.Dc(), OBJ_BITMAP), resized);
  EXPECT_EQ(::GetPixel(grabber.Dc(), 47, 39), kBottom);
}

TEST(ChooseCopyMode, Timings_TheWayWhoseFastestCopyIsFaster) {
  using V = std::vector<double>;
  const struct {
    const char* name;
    V bands, whole;
    CopyMode chosen;
  } cases[] = {
      {"Wine on a virtual machine", {5.1, 4.9, 5.3}, {62.0, 55.4, 80.1}, CopyMode::Bands},
      {"Windows with a compositor", {21.0, 19.5, 22.0}, {8.2, 9.0, 7.9}, CopyMode::Whole},
      // One copy held up by another process does not decide.
      {"one slow whole copy", {10.0, 10.2, 10.1}, {9.0, 140.0, 9.1}, CopyMode::Whole},
      {"one slow copy in bands", {150.0, 4.0, 4.1}, {9.0, 9.5, 9.2}, CopyMode::Bands},
      {"even", {10.0}, {10.0}, CopyMode::Whole},
      {"nothing timed", {}, {}, CopyMode::Bands},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseCopyMode(c.bands, c.whole), c.chosen) << c.name;
}

TEST(ScreenGrabber, ChooseMode_StepsTakeTurnsFirstOfEachUncountedChoiceKept) {
  FakeScreen screen;
  screen.Resize(1000, 300);  // five bands
  ScreenGrabber grabber(FakeScreen::Calls());
  EXPECT_EQ(grabber.Mode(), CopyMode::Bands) << "before any choice";
  std::vector<int> copies;
  while (grabber.ChooseModeStep(3)) copies.push_back(screen.copies);
  copies.push_back(screen.copies);
  // Bands, whole, bands, ...: four of each, the first of each uncounted.
  EXPECT_EQ(copies, (std::vector<int>{5, 6, 11, 12, 17, 18, 23, 24}));
  EXPECT_TRUE(grabber.ModeChosen());
  EXPECT_FALSE(grabber.ChooseModeStep(3)) << "a step after the choice";
  EXPECT_EQ(screen.copies, 24);
  EXPECT_EQ(screen.dcsTaken, 8);
  EXPECT_EQ(screen.dcsGivenBack, 8);
  EXPECT_EQ(grabber.BitmapOfLatest(), nullptr) << "a timed copy passed off as a grab";
  // The choice stands for the grabs after it.
  const CopyMode chosen = grabber.Mode();
  screen.copies = 0;
  ASSERT_TRUE(grabber.Grab());
  EXPECT_EQ(screen.copies, chosen == CopyMode::Whole ? 1 : 5);
}

TEST(ScreenGrabber, ChooseMode_ACopyFails_NoChoiceBandsKept) {
  for (const int failing : {1, 2, 6}) {
    FakeScreen screen;
    screen.Resize(1000, 300);
    screen.failingCopy = failing;
    ScreenGrabber grabber(FakeScreen::Calls());
    grabber.SetMode(CopyMode::Bands);
    EXPECT_EQ(grabber.ChooseMode(3), std::nullopt) << failing;
    EXPECT_EQ(grabber.Mode(), CopyMode::Bands) << failing;
    EXPECT_TRUE(grabber.ModeChosen()) << failing << ": the steps would go on";
    EXPECT_EQ(screen.dcsTaken, screen.dcsGivenBack) << failing;
  }
}

// A window that shows a colour, on the real screen.
class ColourWindow {
 public:
  ColourWindow(COLORREF colour, RECT at) : brush_(::CreateSolidBrush(colour)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = brush_.Get();
    wc.lpszClassName = L"SnapwickTestColour";
    ::UnregisterClassW(wc.lpszClassName, wc.hInstance);
    ::RegisterClassW(&wc);
    window_ = ::CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                at.left, at.top, at.right - at.left, at.bottom - at.top, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ::UpdateWindow(window_);
  }
  ~ColourWindow() { ::DestroyWindow(window_); }
  ColourWindow(const ColourWindow&) = delete;
  ColourWindow& operator=(const ColourWindow&) = delete;

 private:
  Brush brush_;
  HWND window_ = nullptr;
};

TEST(ScreenGrabber, RealScreen_BothWaysItsSizeAndWhatItShows) {
  const COLORREF colour = RGB(10, 200, 30);
  ColourWindow shown(colour, {300, 200, 360, 240});
  for (const CopyMode mode : {CopyMode::Whole, CopyMode::Bands}) {
    ScreenGrabber grabber;
    grabber.SetMode(mode);
    std::optional<Frame> frame;
    // Wine hands a window's pixels to the X server a little later.
    const bool seen = PumpUntil([&] {
      frame = grabber.Grab();
      return frame && ::GetPixel(grabber.Dc(), 330, 220) == colour;
    });
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(frame->height, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(seen) << "the window's colour is not in the copy";
    EXPECT_NE(::GetPixel(grabber.Dc(), 290, 220), colour) << "the copy is shifted";
    // In the frame, bottom row first.
    const std::uint8_t* p = frame->pixels + (frame->height - 1 - 220) * frame->stride + 330 * 4;
    EXPECT_EQ(RGB(p[2], p[1], p[0]), colour);
  }
}

TEST(ScreenGrabber, RealScreen_ChosenByTheIdleWindowThenGrabbedThatWay) {
  snapwick::testing::QuietEvents events;
  Win32Platform p(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(p.CreateMainWindow(events));
  p.ChooseCopyModeWhenIdle();
  EXPECT_FALSE(p.Grabber().ModeChosen()) << "chosen before the window was idle";
  ASSERT_TRUE(testing::RunLoopUntil(
      p.Window(), [&] { return p.Grabber().ModeChosen(); }, 20000));
  const auto grab = p.GrabScreen();
  ASSERT_EQ(grab.state, ScreenGrab::State::Ready);
  EXPECT_EQ(grab.frame.width, ::GetSystemMetrics(SM_CXSCREEN));
}

}  // namespace
}  // namespace snapwick::win32
