#include "platform/portal/frame_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace snapwick::portal {
namespace {

using std::chrono::milliseconds;

// A picture whose every pixel says which frame it is and where it lies.
std::vector<std::uint8_t> Picture(int width, int height, int stride, std::uint8_t frame) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * height, 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bytes.data() + y * stride + x * 4;
      p[0] = frame, p[1] = static_cast<std::uint8_t>(x), p[2] = static_cast<std::uint8_t>(y);
      p[3] = 0;
    }
  }
  return bytes;
}

void Deliver(FrameStore& store, int width, int height, std::uint8_t frame, int stride = 0) {
  if (stride == 0) stride = width * 4;
  const auto bytes = Picture(width, height, stride, frame);
  store.Deliver(bytes.data(), width, height, stride, PixelLayout::Rgbx);
}

TEST(FrameStore, GrabBeforeAnyFrameGivesNothingAfterItsWait) {
  FrameStore store;
  EXPECT_FALSE(store.Grab(milliseconds(20)));
}

TEST(FrameStore, GivesTheNewestFrameTightlyPackedWithItsLayout) {
  FrameStore store;
  Deliver(store, 4, 3, 1);
  Deliver(store, 5, 2, 2, 32);  // padded rows
  const auto frame = store.Grab(milliseconds(0));
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->width, 5);
  EXPECT_EQ(frame->height, 2);
  EXPECT_EQ(frame->stride, 20);
  EXPECT_EQ(frame->layout, PixelLayout::Rgbx);
  EXPECT_FALSE(frame->bottomUp);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) {
      const std::uint8_t* p = frame->pixels + y * frame->stride + x * 4;
      EXPECT_EQ(p[0], 2);
      EXPECT_EQ(p[1], x);
      EXPECT_EQ(p[2], y);
    }
  }
  EXPECT_EQ(store.Delivered(), 2u);
}

TEST(FrameStore, AHandedFrameStaysWholeWhileLaterFramesArrive) {
  FrameStore store;
  Deliver(store, 8, 8, 1);
  const auto first = store.Grab(milliseconds(0));
  ASSERT_TRUE(first);
  // Enough frames to go round every buffer twice.
  for (std::uint8_t n = 2; n < 9; ++n) Deliver(store, 8, 8, n);
  for (int i = 0; i < 8 * 8; ++i) EXPECT_EQ(first->pixels[i * 4], 1) << i;
  const auto second = store.Grab(milliseconds(0));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->pixels[0], 8);
}

TEST(FrameStore, WithNothingNewerAGrabGivesTheSameFrameAgain) {
  FrameStore store;
  Deliver(store, 2, 2, 7);
  ASSERT_TRUE(store.Grab(milliseconds(0)));
  const auto again = store.Grab(milliseconds(0));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->pixels[0], 7);
}

TEST(FrameStore, AWaitingGrabWakesWhenTheFirstFrameComes) {
  FrameStore store;
  std::thread producer([&store] {
    std::this_thread::sleep_for(milliseconds(30));
    Deliver(store, 3, 3, 5);
  });
  // A grab that missed the wake-up would sit out its whole wait.
  const auto start = std::chrono::steady_clock::now();
  const auto frame = store.Grab(milliseconds(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
  producer.join();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixels[0], 5);
}

TEST(FrameStore, AnEndedStreamGivesNothingAndWakesAWaitingGrab) {
  FrameStore store;
  Deliver(store, 2, 2, 1);
  std::thread ender([&store] {
    std::this_thread::sleep_for(milliseconds(30));
    store.End();
  });
  FrameStore empty;
  std::thread emptyEnder([&empty] {
    std::this_thread::sleep_for(milliseconds(30));
    empty.End();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(empty.Grab(milliseconds(10000)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
  ender.join();
  emptyEnder.join();
  EXPECT_TRUE(store.Ended());
  // The frame kept from before the end is stale: the screen may be gone.
  EXPECT_FALSE(store.Grab(milliseconds(0)));
  Deliver(store, 2, 2, 2);
  EXPECT_EQ(store.Delivered(), 1u);
}

TEST(FrameStore, RefusesRowsShorterThanTheWidth) {
  FrameStore store;
  const auto bytes = Picture(4, 2, 16, 1);
  store.Deliver(bytes.data(), 4, 2, 12, PixelLayout::Bgrx);
  store.Deliver(nullptr, 4, 2, 16, PixelLayout::Bgrx);
  store.Deliver(bytes.data(), 0, 2, 16, PixelLayout::Bgrx);
  EXPECT_EQ(store.Delivered(), 0u);
  EXPECT_FALSE(store.Grab(milliseconds(0)));
}

}  // namespace
}  // namespace snapwick::portal
