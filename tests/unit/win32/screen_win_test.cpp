// Copies of the screen: what the grabber makes of a screen that cannot be
// copied, the bitmap it keeps and the pixels it hands to the encoder, and a
// real copy under Wine.

#include <gtest/gtest.h>

#include "fake_screen_win.h"
#include "platform/win32/screen_win.h"
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
  const auto image = grabber.Grab();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 64);
  EXPECT_EQ(image->height, 32);
  HBITMAP bitmap = grabber.BitmapOf(*image);
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
  // The encoder reads the same pixels in memory: bottom row first, blue,
  // green, red and a spare byte each, no padding between rows.
  const auto pixels = grabber.PixelsOf(*image);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->width, 64);
  EXPECT_EQ(pixels->height, 32);
  EXPECT_EQ(pixels->stride, 64 * 4);
  EXPECT_TRUE(pixels->bottomUp);
  const auto rgb = [&](int row, int x) {
    const std::uint8_t* p = pixels->data + row * pixels->stride + x * 4;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_EQ(rgb(0, 0), kBottom);
  EXPECT_EQ(rgb(15, 63), kBottom);
  EXPECT_EQ(rgb(16, 0), kTop);
  EXPECT_EQ(rgb(31, 63), kTop);
  EXPECT_EQ(screen.dcsTaken, 1);
  EXPECT_EQ(screen.dcsGivenBack, 1);
}

TEST(ScreenGrabber, LargerScreen_CopiedInSeveralBandsEveryPixelInPlace) {
  FakeScreen screen;
  screen.Resize(1000, 300);
  screen.PaintDetail();
  ScreenGrabber grabber(FakeScreen::Calls());
  const auto image = grabber.Grab();
  ASSERT_TRUE(image);
  EXPECT_GT(screen.copies, 1) << "a screen of this size is copied in bands";
  const auto pixels = grabber.PixelsOf(*image);
  ASSERT_TRUE(pixels);
  ASSERT_EQ(pixels->width, 1000);
  ASSERT_EQ(pixels->height, 300);
  int wrong = 0;
  for (int y = 0; y < 300; ++y) {
    // Bottom row first in the bitmap.
    const std::uint8_t* row = pixels->data + (299 - y) * pixels->stride;
    for (int x = 0; x < 1000; ++x) {
      const std::uint8_t* p = row + x * 4;
      const std::uint32_t got = (p[2] << 16) | (p[1] << 8) | p[0];
      if (got != screen.Detail()[static_cast<std::size_t>(y) * 1000 + x] && wrong++ < 5) {
        ADD_FAILURE() << "pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(screen.dcsTaken, 1);
  EXPECT_EQ(screen.dcsGivenBack, 1);
}

TEST(ScreenGrabber, LaterBandFails_NothingNoFurtherBandsAndTheDcGivenBack) {
  FakeScreen screen;
  screen.Resize(1000, 300);
  ScreenGrabber grabber(FakeScreen::Calls());
  const auto before = grabber.Grab();
  ASSERT_TRUE(before);
  const int bands = screen.copies;
  ASSERT_GT(bands, 2);
  screen.copies = 0;
  screen.failingCopy = 2;
  EXPECT_EQ(grabber.Grab(), std::nullopt);
  EXPECT_EQ(screen.copies, 2) << "bands copied after the one that failed";
  EXPECT_EQ(grabber.BitmapOf(*before), nullptr);
  EXPECT_EQ(grabber.PixelsOf(*before), std::nullopt);
  EXPECT_EQ(screen.dcsTaken, screen.dcsGivenBack);
}

TEST(ScreenGrabber, NoScreenDcNoSizeOrFailedCopy_NothingAndNoStaleImage) {
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
  for (const auto& c : cases) {
    FakeScreen screen;
    ScreenGrabber grabber(FakeScreen::Calls());
    const auto before = grabber.Grab();
    ASSERT_TRUE(before) << c.name;
    c.breakIt(screen);
    EXPECT_EQ(grabber.Grab(), std::nullopt) << c.name;
    // The picture of the earlier grab may be half overwritten: it is no
    // image any more.
    EXPECT_EQ(grabber.BitmapOf(*before), nullptr) << c.name;
    EXPECT_EQ(grabber.PixelsOf(*before), std::nullopt) << c.name;
    EXPECT_EQ(screen.dcsTaken, screen.dcsGivenBack) << c.name << ": a screen DC kept";
  }
}

TEST(ScreenGrabber, SameSizeAgain_SameBitmapNewImage_OtherSize_BitmapOfThatSize) {
  FakeScreen screen;
  ScreenGrabber grabber(FakeScreen::Calls());
  const auto first = grabber.Grab();
  ASSERT_TRUE(first);
  HBITMAP bitmap = grabber.BitmapOf(*first);
  const auto second = grabber.Grab();
  ASSERT_TRUE(second);
  EXPECT_NE(second->id, first->id);
  EXPECT_EQ(grabber.BitmapOf(*second), bitmap) << "the bitmap is made anew for the same size";
  EXPECT_EQ(grabber.BitmapOf(*first), nullptr) << "an older image still counts";
  EXPECT_EQ(grabber.PixelsOf(*first), std::nullopt) << "an older image still has pixels";

  screen.Resize(48, 40);
  const auto third = grabber.Grab();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->width, 48);
  EXPECT_EQ(third->height, 40);
  HBITMAP resized = grabber.BitmapOf(*third);
  ASSERT_NE(resized, nullptr);
  const SIZE size = BitmapSize(resized);
  EXPECT_EQ(size.cx, 48);
  EXPECT_EQ(size.cy, 40);
  EXPECT_EQ(::GetCurrentObject(grabber.Dc(), OBJ_BITMAP), resized);
  EXPECT_EQ(::GetPixel(grabber.Dc(), 47, 39), kBottom);
}

TEST(ScreenGrabber, ImageOfAnotherSize_NoBitmapNoPixels) {
  FakeScreen screen;
  ScreenGrabber grabber(FakeScreen::Calls());
  auto image = grabber.Grab();
  ASSERT_TRUE(image);
  image->width += 1;
  EXPECT_EQ(grabber.BitmapOf(*image), nullptr);
  EXPECT_EQ(grabber.PixelsOf(*image), std::nullopt);
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

TEST(ScreenGrabber, RealScreen_ItsSizeAndWhatItShows) {
  const COLORREF colour = RGB(10, 200, 30);
  ColourWindow shown(colour, {300, 200, 360, 240});
  ScreenGrabber grabber;
  std::optional<ScreenImage> image;
  // Wine hands a window's pixels to the X server a little later.
  const bool seen = PumpUntil([&] {
    image = grabber.Grab();
    return image && ::GetPixel(grabber.Dc(), 330, 220) == colour;
  });
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(image->height, ::GetSystemMetrics(SM_CYSCREEN));
  EXPECT_TRUE(seen) << "the window's colour is not in the copy";
  EXPECT_NE(::GetPixel(grabber.Dc(), 290, 220), colour) << "the copy is shifted";
}

}  // namespace
}  // namespace snapwick::win32
