// The capture canvas and the GDI+ calls that write it as a JPEG file.

#include "platform/win32/windows_inc.h"

#include <objidl.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include "platform/utf16.h"
#include "platform/win32/canvas_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::TempFolder;

constexpr char16_t kJpegEncoder[] = u"{557CF401-1A04-11D3-9A73-0000F81EF32E}";
constexpr Guid kEncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D,
                               {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  ::GetObjectW(bitmap, sizeof(info), &info);
  return {info.bmWidth, info.bmHeight};
}

TEST(Canvas, NotPersistentYet_NoPictureButClearSucceeds) {
  Canvas canvas;
  EXPECT_EQ(canvas.Resize(1920, 1080), Status::Ok);
  EXPECT_EQ(canvas.Dc(), nullptr);
  EXPECT_EQ(canvas.Image(), nullptr);
  EXPECT_EQ(canvas.Clear(), Status::Ok);
}

TEST(Canvas, Persistent_BitmapOfTheSizeSelectedInItsDC) {
  Canvas canvas;
  ASSERT_EQ(canvas.Resize(64, 32), Status::Ok);
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  ASSERT_NE(canvas.Dc(), nullptr);
  ASSERT_NE(canvas.Image(), nullptr);
  const SIZE size = BitmapSize(canvas.Image());
  EXPECT_EQ(size.cx, 64);
  EXPECT_EQ(size.cy, 32);
  EXPECT_EQ(::GetCurrentObject(canvas.Dc(), OBJ_BITMAP), canvas.Image());
}

TEST(Canvas, ResizeToSameSize_KeepsBitmap_OtherSize_NewBitmap) {
  Canvas canvas;
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  ASSERT_EQ(canvas.Resize(40, 30), Status::Ok);
  const HBITMAP first = canvas.Image();
  ASSERT_NE(first, nullptr);
  ::SetPixel(canvas.Dc(), 5, 5, RGB(1, 2, 3));
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  ASSERT_EQ(canvas.Resize(40, 30), Status::Ok);
  EXPECT_EQ(canvas.Image(), first);
  EXPECT_EQ(::GetPixel(canvas.Dc(), 5, 5), RGB(1, 2, 3));

  ASSERT_EQ(canvas.Resize(50, 20), Status::Ok);
  const SIZE size = BitmapSize(canvas.Image());
  EXPECT_EQ(size.cx, 50);
  EXPECT_EQ(size.cy, 20);
  EXPECT_EQ(::GetCurrentObject(canvas.Dc(), OBJ_BITMAP), canvas.Image());
}

TEST(Canvas, ResizeToNothing_Fails) {
  Canvas canvas;
  EXPECT_EQ(canvas.Resize(0, 1080), Status::Failed);
  EXPECT_EQ(canvas.Resize(1920, -1), Status::Failed);
}

TEST(Canvas, Clear_BlackensTheOldPicture) {
  Canvas canvas;
  ASSERT_EQ(canvas.Resize(8, 8), Status::Ok);
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  ::PatBlt(canvas.Dc(), 0, 0, 8, 8, WHITENESS);
  EXPECT_EQ(canvas.Clear(), Status::Ok);
  EXPECT_EQ(::GetPixel(canvas.Dc(), 7, 7), RGB(0, 0, 0));
}

// Left half red, right half blue.
void PaintHalves(HDC dc, int width, int height) {
  Brush red(::CreateSolidBrush(RGB(255, 0, 0)));
  Brush blue(::CreateSolidBrush(RGB(0, 0, 255)));
  const RECT left{0, 0, width / 2, height};
  const RECT right{width / 2, 0, width, height};
  ::FillRect(dc, &left, red.get());
  ::FillRect(dc, &right, blue.get());
}

class JpegTest : public ::testing::Test {
 protected:
  JpegTest() {
    const GdiplusStartupInput input;
    started_ = p.GdiplusStartup(&token_, input) == 0;
  }
  ~JpegTest() override {
    if (started_) p.GdiplusShutdown(token_);
  }

  // Saves the canvas's image as a JPEG at `path` through the platform.
  GpStatus Save(const Canvas& canvas, const std::string& path, std::uint32_t quality) {
    Handle bitmap = 0;
    const GpStatus made = p.GdipCreateBitmapFromHBITMAP(FromWin(canvas.Image()), 0, &bitmap);
    if (made != 0) return made;
    Guid encoder;
    p.CLSIDFromString(kJpegEncoder, &encoder);
    EncoderParameters params;
    params.count = 1;
    params.parameter[0] = {kEncoderQuality, 1, kEncoderParameterValueTypeLong, &quality};
    const GpStatus saved = p.GdipSaveImageToFile(bitmap, Utf8ToUtf16(path), encoder, params);
    p.GdipDisposeImage(bitmap);
    return saved;
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  TempFolder folder;
  bool started_ = false;

 private:
  std::uintptr_t token_ = 0;
};

TEST_F(JpegTest, CanvasStillSelected_SavedAsJpegThatReadsBack) {
  ASSERT_TRUE(started_);
  Canvas canvas;
  ASSERT_EQ(canvas.Resize(64, 32), Status::Ok);
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  PaintHalves(canvas.Dc(), 64, 32);

  const std::string path = folder.Utf8("06.12.2026_11.05.13_1.jpg");
  ASSERT_EQ(Save(canvas, path, 80), 0);

  Gdiplus::GpBitmap* loaded = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromFile(Widen(path).c_str(), &loaded),
            Gdiplus::Ok);
  GUID format{};
  UINT width = 0, height = 0;
  Gdiplus::DllExports::GdipGetImageRawFormat(loaded, &format);
  Gdiplus::DllExports::GdipGetImageWidth(loaded, &width);
  Gdiplus::DllExports::GdipGetImageHeight(loaded, &height);
  Gdiplus::ARGB left = 0, right = 0;
  Gdiplus::DllExports::GdipBitmapGetPixel(loaded, 8, 16, &left);
  Gdiplus::DllExports::GdipBitmapGetPixel(loaded, 56, 16, &right);
  Gdiplus::DllExports::GdipDisposeImage(loaded);

  EXPECT_TRUE(IsEqualGUID(format, Gdiplus::ImageFormatJPEG));
  EXPECT_EQ(width, 64u);
  EXPECT_EQ(height, 32u);
  // JPEG is lossy: the colours come back close, not exact.
  EXPECT_GT((left >> 16) & 0xFF, 200u);
  EXPECT_LT(left & 0xFF, 60u);
  EXPECT_GT(right & 0xFF, 200u);
  EXPECT_LT((right >> 16) & 0xFF, 60u);
}

TEST_F(JpegTest, MissingFolder_NonZeroStatusAndNoFile) {
  ASSERT_TRUE(started_);
  Canvas canvas;
  ASSERT_EQ(canvas.Resize(16, 16), Status::Ok);
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  const std::string path = folder.Utf8("pic\\1.jpg");
  EXPECT_NE(Save(canvas, path, 80), 0);
  EXPECT_FALSE(p.FileExists(path));
}

TEST_F(JpegTest, MoreParametersThanTheRecordHolds_RefusedNotRead) {
  ASSERT_TRUE(started_);
  Canvas canvas;
  ASSERT_EQ(canvas.Resize(16, 16), Status::Ok);
  ASSERT_EQ(canvas.SetPersistent(true), Status::Ok);
  Handle bitmap = 0;
  ASSERT_EQ(p.GdipCreateBitmapFromHBITMAP(FromWin(canvas.Image()), 0, &bitmap), 0);
  std::uint32_t quality = 80;
  EncoderParameters params;
  params.count = 2;
  params.parameter[0] = {kEncoderQuality, 1, kEncoderParameterValueTypeLong, &quality};
  Guid encoder;
  p.CLSIDFromString(kJpegEncoder, &encoder);
  const std::string path = folder.Utf8("2.jpg");
  EXPECT_NE(p.GdipSaveImageToFile(bitmap, Utf8ToUtf16(path), encoder, params), 0);
  EXPECT_FALSE(p.FileExists(path));
  p.GdipDisposeImage(bitmap);
}

TEST(ClsidFromString, JpegEncoderText_FieldsOfTheGuid) {
  Win32Platform p(::GetModuleHandleW(nullptr));
  Guid encoder;
  EXPECT_EQ(p.CLSIDFromString(kJpegEncoder, &encoder), 0);
  EXPECT_EQ(encoder, (Guid{0x557CF401, 0x1A04, 0x11D3,
                           {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}}));
}

TEST(ClsidFromString, NotAGuid_FailureResult) {
  Win32Platform p(::GetModuleHandleW(nullptr));
  Guid encoder;
  EXPECT_NE(p.CLSIDFromString(u"JPEG", &encoder), 0);
}

}  // namespace
}  // namespace snapwick::win32
