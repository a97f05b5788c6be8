#include "platform/x11/jpeg_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "decoded_jpeg.h"
#include "platform/x11/files_posix.h"
#include "temp_folder.h"

namespace snapwick::x11 {
namespace {

using testing::TempFolder;

struct Picture {
  std::vector<std::uint8_t> bgrx;
  jpeg::BgrxPixels pixels;
};

// Rows with a stride wider than the pixels, as the X server hands them.
Picture Gradient(int width, int height, int stride) {
  Picture p;
  p.bgrx.assign(static_cast<std::size_t>(stride) * height, 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* px = &p.bgrx[static_cast<std::size_t>(y * stride + x * 4)];
      px[0] = static_cast<std::uint8_t>(x * 4);
      px[1] = static_cast<std::uint8_t>(y * 4);
      px[2] = 200;
    }
  }
  p.pixels = {p.bgrx.data(), width, height, stride};
  return p;
}

std::vector<unsigned char> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WriteJpegFile, WritablePath_ADecodableFileOfThePicturesSize) {
  TempFolder dir;
  jpeg::JpegEncoder encoder;
  const Picture p = Gradient(64, 48, 64 * 4 + 32);
  ASSERT_EQ(WriteJpegFile(encoder, p.pixels, dir / "shot.jpg", 80), jpeg::kOk);
  auto file = Slurp(dir / "shot.jpg");
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.size(), encoder.Bytes().size());
  const auto d = snapwick::testing::DecodeJpeg(file);
  EXPECT_FALSE(d.bgrx.empty());
  EXPECT_EQ(d.width, 64);
  EXPECT_EQ(d.height, 48);
}

TEST(WriteJpegFile, EncoderOrFileFails_StatusNumberAndNoFileMade) {
  TempFolder dir;
  jpeg::JpegEncoder encoder;
  const Picture good = Gradient(16, 16, 64);
  const jpeg::BgrxPixels tooNarrow{good.bgrx.data(), 16, 16, 16};
  const struct {
    const char* what;
    jpeg::BgrxPixels pixels;
    std::string path;
    std::int32_t status;
  } cases[] = {
      {"stride shorter than a row", tooNarrow, dir / "a.jpg", jpeg::kInvalidArgument},
      {"no pixels", {nullptr, 16, 16, 64}, dir / "b.jpg", jpeg::kInvalidArgument},
      {"folder missing", good.pixels, dir / "pic/c.jpg", jpeg::kCannotWriteFile},
      {"a folder in the way", good.pixels, dir.Path(), jpeg::kCannotWriteFile},
      {"disk full", good.pixels, "/dev/full", jpeg::kCannotWriteFile},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteJpegFile(encoder, c.pixels, c.path, 80), c.status) << c.what;
  }
  EXPECT_FALSE(FileLength(dir / "a.jpg"));
  EXPECT_FALSE(FileLength(dir / "b.jpg"));
}

}  // namespace
}  // namespace snapwick::x11
