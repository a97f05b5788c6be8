// Writing the grabbed bitmap as JPEG with GDI+: the file, the status of a
// failed write, and that every write gives back the GDI+ session and bitmap
// it took.

#include "platform/win32/windows_inc.h"

#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include "fake_screen_win.h"
#include "platform/win32/jpeg_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::FakeScreen;
using testing::TempFolder;

constexpr JpegStatus kInvalidParameter = 2;

struct Decoded {
  bool jpeg = false;
  UINT width = 0;
  UINT height = 0;
  Gdiplus::ARGB top = 0;
  Gdiplus::ARGB bottom = 0;
};

// The file read back with GDI+: its format, size, and the colours in the
// middle of its upper and lower halves.
Decoded Decode(const std::wstring& path) {
  const GdiplusSession session;
  Decoded d;
  Gdiplus::GpBitmap* loaded = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), &loaded) != Gdiplus::Ok) {
    return d;
  }
  GUID format{};
  Gdiplus::DllExports::GdipGetImageRawFormat(loaded, &format);
  d.jpeg = IsEqualGUID(format, Gdiplus::ImageFormatJPEG) != FALSE;
  Gdiplus::DllExports::GdipGetImageWidth(loaded, &d.width);
  Gdiplus::DllExports::GdipGetImageHeight(loaded, &d.height);
  const INT x = static_cast<INT>(d.width / 2);
  Gdiplus::DllExports::GdipBitmapGetPixel(loaded, x, static_cast<INT>(d.height / 4), &d.top);
  Gdiplus::DllExports::GdipBitmapGetPixel(loaded, x, static_cast<INT>(d.height * 3 / 4),
                                          &d.bottom);
  Gdiplus::DllExports::GdipDisposeImage(loaded);
  return d;
}

int Red(Gdiplus::ARGB c) { return static_cast<int>((c >> 16) & 0xFF); }
int Blue(Gdiplus::ARGB c) { return static_cast<int>(c & 0xFF); }

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class JpegTest : public ::testing::Test {
 public:
  void SetUp() override {
    image = grabber.Grab();
    ASSERT_TRUE(image);
  }

  FakeScreen screen;
  ScreenGrabber grabber{FakeScreen::Calls()};
  std::optional<ScreenImage> image;
  TempFolder folder;
};

TEST_F(JpegTest, GrabbedBitmap_JpegOfItsSizeTheRightWayUp) {
  const std::string path = folder.Utf8("06.12.2026_11.05.13_1.jpg");
  ASSERT_EQ(WriteJpegFile(grabber.BitmapOf(*image), SystemPath(path), 80), 0);
  const Decoded d = Decode(SystemPath(path));
  EXPECT_TRUE(d.jpeg);
  EXPECT_EQ(d.width, 64u);
  EXPECT_EQ(d.height, 32u);
  // JPEG is lossy: the colours come back close, not exact. A picture
  // written upside down would have them swapped.
  EXPECT_GT(Red(d.top), 200);
  EXPECT_LT(Blue(d.top), 60);
  EXPECT_GT(Blue(d.bottom), 200);
  EXPECT_LT(Red(d.bottom), 60);
}

TEST_F(JpegTest, GoodAndFailedWrites_EverySessionAndBitmapGivenBack) {
  const struct {
    const char* name;
    HBITMAP bitmap;
    std::string path;
    bool written;
  } cases[] = {
      {"written", grabber.BitmapOf(*image), folder.Utf8("1.jpg"), true},
      {"folder missing", grabber.BitmapOf(*image), folder.Utf8("pic\\2.jpg"), false},
      {"no bitmap", nullptr, folder.Utf8("3.jpg"), false},
  };
  for (const auto& c : cases) {
    const JpegStatus status = WriteJpegFile(c.bitmap, SystemPath(c.path), 80);
    EXPECT_EQ(status == 0, c.written) << c.name << ": status " << status;
    EXPECT_EQ(Exists(c.path), c.written) << c.name;
    EXPECT_EQ(LiveGdiplusSessions(), 0) << c.name;
    EXPECT_EQ(LiveGdiplusBitmaps(), 0) << c.name;
  }
}

TEST_F(JpegTest, NoBitmap_InvalidParameterFromTheBitmapsMaking) {
  EXPECT_EQ(WriteJpegFile(nullptr, SystemPath(folder.Utf8("1.jpg")), 80), kInvalidParameter);
}

TEST(GdiplusSession, StartedOrRefused_ShutDownOnlyWhenStarted) {
  {
    const GdiplusSession started;
    EXPECT_EQ(started.Result(), 0);
    EXPECT_EQ(LiveGdiplusSessions(), 1);
    {
      // GDI+ knows no version 99: its start-up fails and leaves nothing to
      // shut down.
      const GdiplusSession refused(99);
      EXPECT_NE(refused.Result(), 0);
      EXPECT_EQ(LiveGdiplusSessions(), 1);
    }
    EXPECT_EQ(LiveGdiplusSessions(), 1);
  }
  EXPECT_EQ(LiveGdiplusSessions(), 0);
}

class PlatformJpegTest : public ::testing::Test {
 public:
  Win32Platform p{::GetModuleHandleW(nullptr)};
};

TEST_F(PlatformJpegTest, CyrillicAndLongFolders_Written) {
  const TempFolder cyrillic;
  const TempFolder deep(TempFolder::Depth::Deep);
  const auto image = p.GrabScreen();
  ASSERT_TRUE(image);
  for (const TempFolder* folder : {&cyrillic, &deep}) {
    const std::string path = folder->Utf8("07.12.2026_05.12.21_1.jpg");
    EXPECT_EQ(p.WriteJpeg(*image, path, 80), 0) << path.size() << " " << path;
    EXPECT_GT(p.FileLength(path).value_or(0), 0) << path;
  }
}

TEST_F(PlatformJpegTest, ImageOfAnEarlierGrab_RefusedNoFile) {
  const TempFolder folder;
  const auto first = p.GrabScreen();
  ASSERT_TRUE(first);
  ASSERT_TRUE(p.GrabScreen());
  const std::string path = folder.Utf8("1.jpg");
  EXPECT_EQ(p.WriteJpeg(*first, path, 80), kInvalidParameter);
  EXPECT_EQ(p.FileLength(path), std::nullopt);
  EXPECT_EQ(p.WriteJpeg(ScreenImage{}, path, 80), kInvalidParameter);
}

}  // namespace
}  // namespace snapwick::win32
