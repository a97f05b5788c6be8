#include "platform/portal/frame_store.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace snapwick::portal {
namespace {

// A picture in a producer's memory, every pixel saying which frame it is
// and where it lies.
struct Source {
  Source(int width, int height, std::uint8_t frame, int stride = 0)
      : width(width), height(height), stride(stride ? stride : width * 4) {
    bytes.assign(static_cast<std::size_t>(this->stride) * height, 0xEE);
    Paint(frame);
  }
  void Paint(std::uint8_t frame) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = bytes.data() + y * stride + x * 4;
        p[0] = frame, p[1] = static_cast<std::uint8_t>(x), p[2] = static_cast<std::uint8_t>(y);
        p[3] = 0;
      }
    }
  }
  FrameStore::Picture Picture() const {
    return {bytes.data(), width, height, stride, PixelLayout::Rgbx};
  }
  int width;
  int height;
  int stride;
  std::vector<std::uint8_t> bytes;
};

TEST(FrameStore, GivesTheNewestPictureTightlyPackedAndGivesTheOneItReplacedBack) {
  FrameStore store;
  EXPECT_FALSE(store.Grab());
  Source first(4, 3, 1);
  Source second(5, 2, 2, 32);  // padded rows
  EXPECT_EQ(store.Offer(first.Picture(), &first).giveBack, nullptr);
  EXPECT_EQ(store.Offer(second.Picture(), &second).giveBack, &first);
  const auto frame = store.Grab();
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
  // The frame handed out is the store's copy: the producer may draw into
  // its memory once it has it back.
  second.Paint(9);
  EXPECT_EQ(frame->pixels[0], 2);
}

// The desktop sends a frame whenever the screen changes: none of them is
// copied until a shot wants one, and a shot copies one.
TEST(FrameStore, OnlyAGrabCopiesAndOnlyWhatIsNewerThanItsLastCopy) {
  FrameStore store;
  std::array<Source, 3> sources{Source(8, 8, 0), Source(8, 8, 0), Source(8, 8, 0)};
  for (std::uint8_t n = 1; n <= 60; ++n) {
    Source& source = sources[n % 3];
    source.Paint(n);
    store.Offer(source.Picture(), &source);
  }
  EXPECT_EQ(store.Delivered(), 60u);
  EXPECT_EQ(store.Copies(), 0u);
  const auto frame = store.Grab();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixels[0], 60);
  ASSERT_TRUE(store.Grab());
  EXPECT_EQ(store.Copies(), 1u);
  sources[1].Paint(61);
  store.Offer(sources[1].Picture(), &sources[1]);
  EXPECT_EQ(store.Grab()->pixels[0], 61);
  EXPECT_EQ(store.Copies(), 2u);
}

TEST(FrameStore, AWithdrawnPictureIsNotTakenAndTheNextOneIsAwaited) {
  FrameStore store;
  Source first(2, 2, 1);
  Source second(2, 2, 2);
  store.Offer(first.Picture(), &first);
  ASSERT_TRUE(store.Grab());
  // Another buffer going is nothing to the newest picture.
  store.Withdraw(&second);
  ASSERT_TRUE(store.Grab());
  store.Withdraw(&first);
  EXPECT_FALSE(store.Grab());
  const auto offered = store.Offer(second.Picture(), &second);
  EXPECT_TRUE(offered.awaited);
  EXPECT_EQ(offered.giveBack, nullptr);
  EXPECT_EQ(store.Grab()->pixels[0], 2);
  // Told once: the next offer is not awaited.
  EXPECT_FALSE(store.Offer(first.Picture(), &first).awaited);
}

TEST(FrameStore, AnEndedStreamGivesNothingAndTakesNoMore) {
  FrameStore store;
  Source first(2, 2, 1);
  Source second(2, 2, 2);
  store.Offer(first.Picture(), &first);
  EXPECT_EQ(store.End(), &first);
  EXPECT_TRUE(store.Ended());
  // The picture kept from before the end is stale: the screen may be gone.
  EXPECT_FALSE(store.Grab());
  EXPECT_EQ(store.Offer(second.Picture(), &second).giveBack, &second);
  EXPECT_EQ(store.Delivered(), 1u);
}

TEST(FrameStore, RefusesRowsShorterThanTheWidthAndGivesThemBack) {
  FrameStore store;
  Source source(4, 2, 1, 16);
  auto picture = source.Picture();
  picture.stride = 12;
  EXPECT_EQ(store.Offer(picture, &source).giveBack, &source);
  picture = source.Picture();
  picture.pixels = nullptr;
  EXPECT_EQ(store.Offer(picture, &source).giveBack, &source);
  picture = source.Picture();
  picture.width = 0;
  EXPECT_EQ(store.Offer(picture, &source).giveBack, &source);
  EXPECT_EQ(store.Delivered(), 0u);
  EXPECT_FALSE(store.Grab());
}

// A producer that draws into a buffer only once it has it back, as
// PipeWire's does: a grab on another thread never sees a picture half
// drawn over.
TEST(FrameStore, AGrabNeverReadsAPictureBeingDrawnOver) {
  FrameStore store;
  constexpr int kSide = 64;
  std::array<Source, 3> sources{Source(kSide, kSide, 0), Source(kSide, kSide, 0),
                                Source(kSide, kSide, 0)};
  std::atomic<bool> done{false};
  std::thread producer([&] {
    std::vector<Source*> free{&sources[0], &sources[1], &sources[2]};
    for (int n = 1; n < 4000; ++n) {
      Source* source = free.back();
      free.pop_back();
      source->Paint(static_cast<std::uint8_t>(n));
      void* back = store.Offer(source->Picture(), source).giveBack;
      if (back) free.push_back(static_cast<Source*>(back));
    }
    done = true;
  });
  int torn = 0;
  int grabs = 0;
  while (!done) {
    const auto frame = store.Grab();
    if (!frame) continue;
    ++grabs;
    for (int i = 1; i < kSide * kSide; ++i) {
      if (frame->pixels[i * 4] != frame->pixels[0]) {
        ++torn;
        break;
      }
    }
  }
  producer.join();
  EXPECT_EQ(torn, 0) << "of " << grabs << " grabs";
}

}  // namespace
}  // namespace snapwick::portal
