#include "jpeg/strip_encoder.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "decoded_jpeg.h"
#ifndef _WIN32
#include "temp_folder.h"
#endif

namespace snapwick::jpeg {
namespace {

struct Picture {
  std::vector<std::uint8_t> bgrx;
  Pixels pixels;
};

// Edges, text-like detail and noise across the whole height, so that a
// strip that went wrong anywhere shows; rows `stride` bytes apart.
Picture Screen(int width, int height, int stride, unsigned salt = 1) {
  Picture p;
  p.bgrx.assign(static_cast<std::size_t>(stride) * height, 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      salt = salt * 1103515245u + 12345u;
      std::uint8_t* px = &p.bgrx[static_cast<std::size_t>(y) * stride + x * 4];
      const bool edge = (x / 7 + y / 5) % 3 == 0;
      px[0] = static_cast<std::uint8_t>(edge ? 250 : x * 255 / width);
      px[1] = static_cast<std::uint8_t>(y * 255 / height ^ (salt >> 24 & 0x1F));
      px[2] = static_cast<std::uint8_t>(edge ? 10 : 128 + (salt >> 16 & 0x3F));
    }
  }
  p.pixels = {p.bgrx.data(), width, height, stride};
  return p;
}

std::vector<std::uint8_t> Joined(const std::unique_ptr<StripEncoder>& strips) {
  std::vector<std::uint8_t> file;
  for (const auto part : strips->Parts()) file.insert(file.end(), part.begin(), part.end());
  return file;
}

using snapwick::testing::DecodedJpeg;
using snapwick::testing::DecodeJpeg;

#ifndef _WIN32
std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Save(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

#endif

// The markers of a file as this encoder writes them: the segments before
// the scan, then the markers inside the scan.
std::vector<int> Markers(std::span<const std::uint8_t> file) {
  std::vector<int> markers;
  std::size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    markers.push_back(file[at + 1]);
    const std::size_t length = static_cast<std::size_t>(file[at + 2] << 8 | file[at + 3]);
    at += 2 + length;
    if (markers.back() == 0xDA) break;
  }
  for (; at + 1 < file.size(); ++at) {
    if (file[at] == 0xFF && file[at + 1] != 0x00) markers.push_back(file[at + 1]);
  }
  return markers;
}

TEST(StripSplit, Sizes_TheMiddleRoundedUpToAnMcuRowOrOneStrip) {
  const struct {
    int width, height;
    std::optional<int> split;
  } cases[] = {
      {1920, 1080, 544},  {3840, 2160, 1088}, {1366, 768, 384}, {1280, 1025, 528},
      {7680, 4320, 2160}, {1920, 255, {}},    {8192, 8192, {}},  // more MCUs than an interval
      {0, 1080, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StripSplit(c.width, c.height), c.split) << c.width << "x" << c.height;
  }
}

TEST(StripEncoder, ScreensAndQualities_ThePixelsOfTheOneStripEncoder) {
  JpegEncoder one;
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  const struct {
    int width, height, stride, quality;
  } cases[] = {
      {1920, 1080, 1920 * 4, 80},    {1920, 1080, 1920 * 4, 100}, {1920, 1080, 1920 * 4, 10},
      {1366, 768, 1366 * 4 + 8, 95}, {1001, 517, 1001 * 4, 96},  // neither side a whole MCU
      {1280, 1025, 1280 * 4, 80},                                // halves a row apart
      {640, 480, 640 * 4, 50},
  };
  for (const auto& c : cases) {
    const Picture p = Screen(c.width, c.height, c.stride);
    ASSERT_EQ(one.Encode(p.pixels, c.quality), Encoded::Ok);
    ASSERT_EQ(strips->Encode(p.pixels, c.quality), Encoded::Ok);
    const auto file = Joined(strips);
    const DecodedJpeg expected = DecodeJpeg(one.Bytes());
    const DecodedJpeg got = DecodeJpeg(file);
    EXPECT_EQ(got.width, c.width);
    EXPECT_EQ(got.height, c.height);
    EXPECT_EQ(got.subsampling, TJSAMP_420);
    EXPECT_FALSE(got.bgrx.empty());
    EXPECT_TRUE(got == expected) << c.width << "x" << c.height << " q" << c.quality;
    // The interval's header, one marker, and the bottom strip's bits on
    // other byte boundaries (other bytes to stuff): a few hundred bytes.
    EXPECT_NEAR(static_cast<double>(file.size()), static_cast<double>(one.Bytes().size()),
                64.0 + 0.001 * static_cast<double>(one.Bytes().size()));
  }
}

TEST(StripEncoder, File_OneBaselineFrameWithOneRestartWhereTheStripsMeet) {
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  const Picture p = Screen(1920, 1080, 1920 * 4);
  ASSERT_EQ(strips->Encode(p.pixels, 80), Encoded::Ok);
  const auto file = Joined(strips);
  ASSERT_GT(file.size(), 4u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xD8);
  const auto markers = Markers(file);
  // JFIF, tables, baseline frame, Huffman tables, the interval, the scan;
  // in the scan one restart and the end.
  EXPECT_EQ(markers, (std::vector<int>{0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDD, 0xDA,
                                       0xD0, 0xD9}));
  // The interval is the top strip: 34 MCU rows of 120.
  const std::size_t dri = std::string(file.begin(), file.end()).find("\xFF\xDD");
  ASSERT_NE(dri, std::string::npos);
  EXPECT_EQ(file[dri + 4] << 8 | file[dri + 5], 34 * 120);
}

TEST(StripEncoder, OneEncoderForManyShots_EachFileWhole) {
  // Sizes change (a new resolution) and a noisy q100 shot outgrows the
  // first buffer; nothing of an earlier shot may remain.
  JpegEncoder one;
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  const struct {
    int width, height, quality;
    unsigned salt;
  } shots[] = {{1280, 720, 80, 1}, {1920, 1080, 100, 2}, {1280, 720, 80, 3}, {800, 600, 30, 4}};
  for (const auto& s : shots) {
    const Picture p = Screen(s.width, s.height, s.width * 4, s.salt);
    ASSERT_EQ(one.Encode(p.pixels, s.quality), Encoded::Ok);
    ASSERT_EQ(strips->Encode(p.pixels, s.quality), Encoded::Ok);
    EXPECT_TRUE(DecodeJpeg(Joined(strips)) == DecodeJpeg(one.Bytes()))
        << s.width << "x" << s.height;
  }
}

TEST(StripEncoder, CoresBusyElsewhere_EveryShotWholeWhicheverThreadTakesTheBottom) {
  // With both cores spinning, the helper is often late and this thread
  // takes the bottom strip itself; sometimes not. Either way no shot may
  // hang, lose a strip or mix two shots.
  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int i = 0; i < 2; ++i) {
    busy.emplace_back([&stop] {
      while (!stop.load(std::memory_order_relaxed)) {
      }
    });
  }
  JpegEncoder one;
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  for (unsigned shot = 1; shot <= 20; ++shot) {
    const Picture p = Screen(640, 480, 640 * 4, shot);
    ASSERT_EQ(one.Encode(p.pixels, 80), Encoded::Ok);
    ASSERT_EQ(strips->Encode(p.pixels, 80), Encoded::Ok);
    EXPECT_TRUE(DecodeJpeg(Joined(strips)) == DecodeJpeg(one.Bytes())) << "shot " << shot;
  }
  stop = true;
  for (auto& t : busy) t.join();
}

TEST(StripEncoder, WhatItCannotSplit_InvalidArgumentAndNoFile) {
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  const Picture small = Screen(320, 200, 320 * 4);
  const Picture good = Screen(640, 480, 640 * 4);
  const Pixels cases[] = {
      small.pixels,
      {nullptr, 640, 480, 640 * 4},
      {good.bgrx.data(), 640, 480, 100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(strips->Encode(c, 80), Encoded::InvalidPicture);
    for (const auto part : strips->Parts()) EXPECT_TRUE(part.empty());
  }
}

TEST(StripEncoder, RowsBottomUpAndEveryByteOrder_ThePixelsOfTheOneStripEncoder) {
  // Each order from the same picture: the bytes moved to where the order
  // keeps them.
  const Picture p = Screen(800, 600, 800 * 4);
  const struct {
    PixelOrder order;
    int blue, green, red;
  } orders[] = {{PixelOrder::Bgrx, 0, 1, 2},
                {PixelOrder::Rgbx, 2, 1, 0},
                {PixelOrder::Xrgb, 3, 2, 1},
                {PixelOrder::Xbgr, 1, 2, 3}};
  JpegEncoder one;
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  ASSERT_EQ(one.Encode(p.pixels, 80), Encoded::Ok);
  const DecodedJpeg expected = DecodeJpeg(one.Bytes());
  for (const auto& o : orders) {
    for (bool bottomUp : {false, true}) {
      std::vector<std::uint8_t> moved(p.bgrx.size());
      for (int y = 0; y < 600; ++y) {
        const std::uint8_t* from = &p.bgrx[static_cast<std::size_t>(y) * 800 * 4];
        std::uint8_t* to = &moved[static_cast<std::size_t>(bottomUp ? 599 - y : y) * 800 * 4];
        for (int x = 0; x < 800; ++x, from += 4, to += 4) {
          to[o.blue] = from[0];
          to[o.green] = from[1];
          to[o.red] = from[2];
        }
      }
      ASSERT_EQ(strips->Encode({moved.data(), 800, 600, 800 * 4, bottomUp, o.order}, 80),
                Encoded::Ok);
      EXPECT_TRUE(DecodeJpeg(Joined(strips)) == expected)
          << static_cast<int>(o.order) << " bottom-up " << bottomUp;
    }
  }
}

#ifndef _WIN32
bool Installed(const char* command) {
  return std::system((std::string("command -v ") + command + " >/dev/null 2>&1").c_str()) == 0;
}

// Each decoder reads both files into the same pixels: the one-strip file
// is the decoder's own reference.
TEST(StripEncoder, OtherDecoders_ReadTheFileAsTheOneStripFile) {
  const struct {
    const char* name;
    const char* program;
    const char* command;  // %1 the JPEG, %2 the PPM it writes
  } decoders[] = {
      {"libjpeg's djpeg", "djpeg", "djpeg -ppm -outfile %2 %1"},
      {"ImageMagick", "convert", "convert %1 %2"},
      {"PIL", "/usr/bin/python3",
       "/usr/bin/python3 -c 'import sys; from PIL import Image; "
       "Image.open(sys.argv[1]).convert(\"RGB\").save(sys.argv[2], \"PPM\")' %1 %2"},
  };
  testing::TempFolder dir;
  JpegEncoder one;
  const auto strips = StripEncoder::Start();
  ASSERT_TRUE(strips);
  const Picture p = Screen(1920, 1080, 1920 * 4);
  ASSERT_EQ(one.Encode(p.pixels, 80), Encoded::Ok);
  ASSERT_EQ(strips->Encode(p.pixels, 80), Encoded::Ok);
  Save(dir / "one.jpg", one.Bytes());
  Save(dir / "strips.jpg", Joined(strips));
  for (const auto& d : decoders) {
    if (!Installed(d.program)) {
      ADD_FAILURE() << d.name << " is not installed (tools/deps.sh)";
      continue;
    }
    auto run = [&](const std::string& in, const std::string& out) {
      std::string command = d.command;
      command.replace(command.find("%1"), 2, in);
      command.replace(command.find("%2"), 2, out);
      return std::system(command.c_str()) == 0;
    };
    ASSERT_TRUE(run(dir / "one.jpg", dir / "one.ppm")) << d.name;
    ASSERT_TRUE(run(dir / "strips.jpg", dir / "strips.ppm")) << d.name;
    const auto expected = Slurp(dir / "one.ppm");
    const auto got = Slurp(dir / "strips.ppm");
    // A PPM of the whole picture: a header and three bytes a pixel.
    EXPECT_GT(got.size(), 1920u * 1080 * 3) << d.name;
    EXPECT_TRUE(got == expected) << d.name;
  }
}

#endif

}  // namespace
}  // namespace snapwick::jpeg
