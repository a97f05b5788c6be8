#include "platform/x11/strip_jpeg.h"

// jpeglib.h needs the standard C declarations before it.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace snapwick::x11 {
namespace {

constexpr int kMcuSide = 16;  // 4:2:0
// Below this many rows a helper thread costs more than it saves.
constexpr int kLeastHeight = 256;
constexpr unsigned kMostRestartInterval = 65535;
constexpr std::uint8_t kRestart0[] = {0xFF, 0xD0};

struct ErrorTrap {
  jpeg_error_mgr manager;  // first, so that libjpeg's pointer is ours
  std::jmp_buf jump;
  bool outOfMemory;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  std::longjmp(trap->jump, 1);
}

// libjpeg's messages would go to stderr; a failed shot is silent.
void OnJpegMessage(j_common_ptr) {}

unsigned ReadBigEndian16(const std::uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

// The offset of the first marker segment `code` before the scan, or of the
// scan's header for 0xDA; nothing in a stream this program did not write.
std::optional<std::size_t> FindSegment(std::span<const std::uint8_t> file, std::uint8_t code) {
  std::size_t at = 2;  // after SOI
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    if (file[at + 1] == code) return at;
    if (file[at + 1] == 0xDA) return std::nullopt;
    at += 2 + ReadBigEndian16(&file[at + 2]);
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> StripSplit(int width, int height) {
  if (width <= 0 || height < kLeastHeight) return std::nullopt;
  // Never fewer rows above than below: the bottom strip must fit in the
  // restart interval that the top strip sets.
  const int split = ((height + 1) / 2 + kMcuSide - 1) / kMcuSide * kMcuSide;
  const auto mcusPerRow = static_cast<unsigned>((width + kMcuSide - 1) / kMcuSide);
  if (mcusPerRow * static_cast<unsigned>(split / kMcuSide) > kMostRestartInterval) {
    return std::nullopt;
  }
  return split;
}

// One strip's compressor and output, kept from shot to shot.
struct StripEncoder::Strip {
  Strip() {
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = OnJpegError;
    trap.manager.output_message = OnJpegMessage;
    destination.init_destination = InitDestination;
    destination.empty_output_buffer = EmptyOutputBuffer;
    destination.term_destination = TermDestination;
    if (setjmp(trap.jump) == 0) {
      jpeg_create_compress(&info);
      created = true;
      info.client_data = this;
      info.dest = &destination;
    }
  }
  ~Strip() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);
  }
  Strip(const Strip&) = delete;
  Strip& operator=(const Strip&) = delete;

  static Strip& Of(j_compress_ptr info) { return *static_cast<Strip*>(info->client_data); }
  static void InitDestination(j_compress_ptr info) {
    Strip& s = Of(info);
    s.destination.next_output_byte = s.buffer;
    s.destination.free_in_buffer = s.capacity;
  }
  // Called with the buffer full; it grows and stays grown for later shots.
  static boolean EmptyOutputBuffer(j_compress_ptr info) {
    Strip& s = Of(info);
    const std::size_t grown = s.capacity ? s.capacity * 2 : 1 << 20;
    auto* moved = static_cast<std::uint8_t*>(std::realloc(s.buffer, grown));
    if (!moved) {
      s.trap.outOfMemory = true;
      info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
    s.destination.next_output_byte = moved + s.capacity;
    s.destination.free_in_buffer = grown - s.capacity;
    s.buffer = moved;
    s.capacity = grown;
    return TRUE;
  }
  static void TermDestination(j_compress_ptr info) {
    Strip& s = Of(info);
    s.size = s.capacity - s.destination.free_in_buffer;
  }

  bool Reserve(std::size_t bytes) {
    if (bytes <= capacity) return true;
    auto* moved = static_cast<std::uint8_t*>(std::realloc(buffer, bytes));
    if (!moved) return false;
    buffer = moved;
    capacity = bytes;
    return true;
  }

  // No object with a destructor lives between the setjmp and a longjmp.
  std::int32_t Compress() {
    size = 0;
    trap.outOfMemory = false;
    if (!created) return jpeg::kOutOfMemory;
    // A screen's JPEG at any quality is smaller than a byte a pixel; a
    // larger one grows the buffer.
    if (!Reserve(static_cast<std::size_t>(pixels.width) * pixels.height)) return jpeg::kOutOfMemory;
    if (setjmp(trap.jump) != 0) {
      jpeg_abort_compress(&info);
      return trap.outOfMemory ? jpeg::kOutOfMemory : jpeg::kFailed;
    }
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // What the one-strip encoder (TurboJPEG) chooses for these qualities,
    // so that both give the same coefficients.
    info.dct_method = quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
    info.restart_interval = restartInterval;
    jpeg_start_compress(&info, TRUE);
    JSAMPROW rows[kMcuSide];
    while (info.next_scanline < info.image_height) {
      const JDIMENSION first = info.next_scanline;
      JDIMENSION count = 0;
      for (; count < kMcuSide && first + count < info.image_height; ++count) {
        rows[count] =
            const_cast<JSAMPROW>(pixels.data) +
            static_cast<std::size_t>(first + count) * static_cast<std::size_t>(pixels.stride);
      }
      jpeg_write_scanlines(&info, rows, count);
    }
    jpeg_finish_compress(&info);
    return jpeg::kOk;
  }

  std::span<const std::uint8_t> Bytes() const { return {buffer, size}; }

  jpeg_compress_struct info{};
  ErrorTrap trap{};
  jpeg_destination_mgr destination{};
  bool created = false;
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t size = 0;

  // The job.
  jpeg::BgrxPixels pixels;
  int quality = 0;
  unsigned restartInterval = 0;
  std::int32_t status = jpeg::kOk;
};

StripEncoder::StripEncoder()
    : top_(std::make_unique<Strip>()),
      bottom_(std::make_unique<Strip>()),
      helper_([this] { Helper(); }) {}

StripEncoder::~StripEncoder() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  helper_.join();
}

void StripEncoder::Helper() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return bottomState_ == Bottom::Due || ending_; });
    if (ending_) return;
    bottomState_ = Bottom::Helper;
    lock.unlock();
    bottom_->status = bottom_->Compress();
    lock.lock();
    bottomState_ = Bottom::Done;
    wake_.notify_all();
  }
}

std::int32_t StripEncoder::Encode(const jpeg::BgrxPixels& pixels, int quality) {
  parts_ = {};
  if (!pixels.data || pixels.width <= 0 || pixels.height <= 0 || pixels.stride < pixels.width * 4 ||
      pixels.bottomUp) {
    return jpeg::kInvalidArgument;
  }
  const auto split = StripSplit(pixels.width, pixels.height);
  if (!split) return jpeg::kInvalidArgument;
  const int q = jpeg::EncoderQuality(quality);
  const unsigned topMcus = static_cast<unsigned>((pixels.width + kMcuSide - 1) / kMcuSide) *
                           static_cast<unsigned>(*split / kMcuSide);

  // The top strip is one restart interval: its header announces the
  // interval, and no marker falls inside it.
  top_->pixels = {pixels.data, pixels.width, *split, pixels.stride};
  top_->quality = q;
  top_->restartInterval = topMcus;
  bottom_->pixels = {pixels.data + static_cast<std::size_t>(*split) * pixels.stride, pixels.width,
                     pixels.height - *split, pixels.stride};
  bottom_->quality = q;
  bottom_->restartInterval = 0;
  {
    std::lock_guard lock(mutex_);
    bottomState_ = Bottom::Due;
  }
  wake_.notify_all();
  const std::int32_t topStatus = top_->Compress();
  bool mine = false;
  {
    std::unique_lock lock(mutex_);
    if (bottomState_ == Bottom::Due) {
      bottomState_ = Bottom::Caller;
      mine = true;
    } else {
      wake_.wait(lock, [this] { return bottomState_ == Bottom::Done; });
    }
  }
  if (mine) {
    bottom_->status = bottom_->Compress();
    std::lock_guard lock(mutex_);
    bottomState_ = Bottom::Done;
  }
  if (topStatus != jpeg::kOk) return topStatus;
  if (bottom_->status != jpeg::kOk) return bottom_->status;

  // The top strip's header, with the whole picture's height, and its
  // entropy-coded data; the marker; the bottom strip's entropy-coded data
  // and its end of image.
  const auto top = top_->Bytes();
  const auto bottom = bottom_->Bytes();
  const auto frame = FindSegment(top, 0xC0);
  const auto scan = FindSegment(bottom, 0xDA);
  if (!frame || !scan || top.size() < 4 || top[top.size() - 2] != 0xFF ||
      top[top.size() - 1] != 0xD9) {
    return jpeg::kFailed;
  }
  std::uint8_t* height = top_->buffer + *frame + 5;
  height[0] = static_cast<std::uint8_t>(pixels.height >> 8);
  height[1] = static_cast<std::uint8_t>(pixels.height & 0xFF);
  const std::size_t entropy = *scan + 2 + ReadBigEndian16(&bottom[*scan + 2]);
  if (entropy > bottom.size()) return jpeg::kFailed;
  parts_ = {top.first(top.size() - 2), std::span<const std::uint8_t>(kRestart0),
            bottom.subspan(entropy)};
  return jpeg::kOk;
}

}  // namespace snapwick::x11
