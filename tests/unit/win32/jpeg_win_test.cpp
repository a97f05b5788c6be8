// Writing the grabbed screen as a JPEG file: the file read back, the status
// and the files left after a write that fails, and the quality in the file.

#include "platform/win32/windows_inc.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_screen_win.h"
#include "platform/win32/jpeg_win.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::FakeScreen;
using testing::TempFolder;

constexpr JpegStatus kInvalidArgument = 2;
constexpr JpegStatus kCannotWriteFile = 7;

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file.Get(), &size);
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Decoded {
  bool jpeg = false;
  int width = 0;
  int height = 0;
  int subsampling = -1;
  std::vector<std::uint8_t> bgrx;  // top row first

  // Blue, green, red of a pixel.
  std::uint32_t At(int x, int y) const {
    const std::uint8_t* p = &bgrx[static_cast<std::size_t>((y * width + x) * 4)];
    return p[0] | (p[1] << 8) | (p[2] << 16);
  }
};

// The file decoded by libjpeg-turbo's own decoder.
Decoded Decode(const std::vector<std::uint8_t>& file) {
  Decoded d;
  tjhandle decoder = tjInitDecompress();
  int colourspace = 0;
  auto* data = const_cast<unsigned char*>(file.data());
  const auto size = static_cast<unsigned long>(file.size());
  if (tjDecompressHeader3(decoder, data, size, &d.width, &d.height, &d.subsampling, &colourspace) ==
      0) {
    d.bgrx.resize(static_cast<std::size_t>(d.width * d.height * 4));
    d.jpeg =
        tjDecompress2(decoder, data, size, d.bgrx.data(), d.width, 0, d.height, TJPF_BGRX, 0) == 0;
  }
  tjDestroy(decoder);
  return d;
}

int Red(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
int Blue(std::uint32_t c) { return static_cast<int>(c & 0xFF); }

class JpegWriterTest : public ::testing::Test {
 public:
  void SetUp() override {
    image = grabber.Grab();
    ASSERT_TRUE(image);
    ASSERT_TRUE(grabber.PixelsOf(*image));
  }

  JpegStatus Write(const std::string& path, std::uint8_t quality = 80) {
    return writer.Write(*grabber.PixelsOf(*image), SystemPath(path), quality);
  }

  FakeScreen screen;
  ScreenGrabber grabber{FakeScreen::Calls()};
  std::optional<ScreenImage> image;
  JpegFileWriter writer;
  TempFolder folder;
};

TEST_F(JpegWriterTest, GrabbedScreen_JpegOfItsSizeTheRightWayUp) {
  const std::string path = folder.Utf8("06.12.2026_11.05.13_1.jpg");
  ASSERT_EQ(Write(path), 0);
  const Decoded d = Decode(ReadWhole(path));
  ASSERT_TRUE(d.jpeg);
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 32);
  EXPECT_EQ(d.subsampling, TJSAMP_420);
  // JPEG is lossy: the colours come back close, not exact. The bitmap's
  // rows lie bottom row first; read the wrong way, the halves would swap.
  for (const int x : {2, 32, 61}) {
    EXPECT_GT(Red(d.At(x, 4)), 200) << x;
    EXPECT_LT(Blue(d.At(x, 4)), 60) << x;
    EXPECT_GT(Blue(d.At(x, 27)), 200) << x;
    EXPECT_LT(Red(d.At(x, 27)), 60) << x;
  }
}

TEST_F(JpegWriterTest, FileCannotBeMade_CannotWriteAndNoFile) {
  const std::string held = folder.Utf8("held.jpg");
  // Opened by another program that shares nothing.
  KernelHandle holder(::CreateFileW(SystemPath(held).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder);
  ::CreateDirectoryW(SystemPath(folder.Utf8("a folder.jpg")).c_str(), nullptr);
  const struct {
    const char* name;
    std::string path;
    bool existsAfter;
  } cases[] = {
      {"folder missing", folder.Utf8("pic\\1.jpg"), false},
      {"a folder of that name", folder.Utf8("a folder.jpg"), true},
      {"held open without sharing", held, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Write(c.path), kCannotWriteFile) << c.name;
    EXPECT_EQ(Exists(c.path), c.existsAfter) << c.name;
  }
  LARGE_INTEGER size{};
  ::GetFileSizeEx(holder.Get(), &size);
  EXPECT_EQ(size.QuadPart, 0) << "the held file was written to";
}

TEST_F(JpegWriterTest, LongerFileThere_ReplacedWhole) {
  const std::string path = folder.Utf8("1.jpg");
  const std::vector<std::uint8_t> old(1 << 20, 0xAB);
  {
    KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD put = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), old.data(), static_cast<DWORD>(old.size()), &put, nullptr));
  }
  ASSERT_EQ(Write(path), 0);
  const auto bytes = ReadWhole(path);
  EXPECT_LT(bytes.size(), old.size()) << "the old file's tail is still there";
  // A JPEG ends with its end-of-image marker.
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
  EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
  EXPECT_TRUE(Decode(bytes).jpeg);
}

TEST_F(JpegWriterTest, HigherQuality_LargerFile) {
  screen.PaintDetail();
  image = grabber.Grab();
  ASSERT_TRUE(image);
  std::size_t previous = 0;
  for (const int quality : {10, 50, 80, 100}) {
    const std::string path = folder.Utf8(std::to_string(quality) + ".jpg");
    ASSERT_EQ(Write(path, static_cast<std::uint8_t>(quality)), 0) << quality;
    const auto bytes = ReadWhole(path);
    EXPECT_GT(bytes.size(), previous) << "quality " << quality;
    EXPECT_TRUE(Decode(bytes).jpeg) << quality;
    previous = bytes.size();
  }
}

class PlatformJpegTest : public ::testing::Test {
 public:
  Win32Platform p{::GetModuleHandleW(nullptr)};
};

TEST_F(PlatformJpegTest, RealScreenIntoCyrillicAndLongFolders_WholeJpegsOfTheScreen) {
  const TempFolder cyrillic;
  const TempFolder deep(TempFolder::Depth::Deep);
  const auto image = p.GrabScreen();
  ASSERT_TRUE(image);
  for (const TempFolder* folder : {&cyrillic, &deep}) {
    const std::string path = folder->Utf8("07.12.2026_05.12.21_1.jpg");
    EXPECT_EQ(p.WriteJpeg(*image, path, 80), 0) << path.size() << " " << path;
    const Decoded d = Decode(ReadWhole(path));
    EXPECT_TRUE(d.jpeg) << path;
    EXPECT_EQ(d.width, ::GetSystemMetrics(SM_CXSCREEN)) << path;
    EXPECT_EQ(d.height, ::GetSystemMetrics(SM_CYSCREEN)) << path;
  }
}

TEST_F(PlatformJpegTest, ImageNotTheLatestGrab_InvalidArgumentNoFile) {
  const TempFolder folder;
  const auto first = p.GrabScreen();
  ASSERT_TRUE(first);
  ASSERT_TRUE(p.GrabScreen());
  const std::string path = folder.Utf8("1.jpg");
  EXPECT_EQ(p.WriteJpeg(*first, path, 80), kInvalidArgument);
  EXPECT_EQ(p.FileLength(path), std::nullopt);
  EXPECT_EQ(p.WriteJpeg(ScreenImage{}, path, 80), kInvalidArgument);
  EXPECT_EQ(p.FileLength(path), std::nullopt);
}

}  // namespace
}  // namespace snapwick::win32
