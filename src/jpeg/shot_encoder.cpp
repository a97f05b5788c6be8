#include "jpeg/shot_encoder.h"

#include <thread>

#ifdef __linux__
#include <sched.h>
#endif

namespace snapwick::jpeg {

int UsableCores() {
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0)
    return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
#endif
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? static_cast<int>(cores) : 1;
}

ShotEncoder::ShotEncoder(bool strips) {
  if (strips) strips_ = StripEncoder::Start();
}

Encoded ShotEncoder::Encode(const Pixels& pixels, int quality) {
  count_ = 0;
  if (strips_ && StripSplit(pixels.width, pixels.height) &&
      strips_->Encode(pixels, quality) == Encoded::Ok) {
    parts_ = strips_->Parts();
    count_ = parts_.size();
    return Encoded::Ok;
  }
  const Encoded whole = whole_.Encode(pixels, quality);
  if (whole != Encoded::Ok) return whole;
  parts_[0] = whole_.Bytes();
  count_ = 1;
  return Encoded::Ok;
}

}  // namespace snapwick::jpeg
