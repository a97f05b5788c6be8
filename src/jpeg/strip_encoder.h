#pragma once
// A screen copy compressed as two horizontal strips at once, one on the
// calling thread and one on a helper thread, joined into one baseline
// JPEG. The compression is nearly all of a shot's time and the machine has
// a second core; when that core is busy and the helper has not started by
// the time the top strip is done, the calling thread compresses the bottom
// one too. The file has a restart marker where the strips meet: at a
// restart a decoder starts afresh (DC predictions from zero, whole bytes),
// which is how each strip began, so the strips' entropy-coded data join as
// they are and every decoder reads the file. The pixels are those the
// one-strip encoder gives: the same colour conversion, subsampling, DCT
// and tables, and the strips meet on an MCU row.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "jpeg/jpeg_encoder.h"

namespace snapwick::jpeg {

// Where the strips meet, counted from the top of the picture: the middle
// rounded up to the 16-row MCU, so that the top strip is the larger.
// Nothing when one strip is better: a picture too small to be worth a
// thread, or a top strip with more MCUs than a restart interval can count.
std::optional<int> StripSplit(int width, int height);

class StripEncoder {
 public:
  // Nothing when the helper thread cannot be started.
  static std::unique_ptr<StripEncoder> Start();
  ~StripEncoder();
  StripEncoder(const StripEncoder&) = delete;
  StripEncoder& operator=(const StripEncoder&) = delete;

  // InvalidPicture also when StripSplit gives nothing. On Ok, Parts()
  // holds the whole file, in order, until the next call.
  Encoded Encode(const Pixels& pixels, int quality);
  std::array<std::span<const std::uint8_t>, 3> Parts() const { return parts_; }

  struct Strip;

 private:
  StripEncoder();
  void Helper();

  std::unique_ptr<Strip> top_;
  std::unique_ptr<Strip> bottom_;
  std::array<std::span<const std::uint8_t>, 3> parts_{};

  // Who compresses the bottom strip: the helper if it starts before the
  // calling thread is done with the top one, the calling thread otherwise
  // (on a machine whose other core is busy, waiting for the helper would
  // be slower than one strip).
  enum class Bottom : std::uint8_t { None, Due, Helper, Caller, Done };
  std::mutex mutex_;
  std::condition_variable wake_;
  Bottom bottomState_ = Bottom::None;
  bool ending_ = false;
  std::thread helper_;
};

}  // namespace snapwick::jpeg
