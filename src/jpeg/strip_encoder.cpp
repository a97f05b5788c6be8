#include "jpeg/strip_encoder.h"

// jpeglib.h needs the standard C declarations before it.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <jpeglib.h>

namespace snapwick::jpeg {
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

J_COLOR_SPACE ColourSpace(PixelOrder order) {
  switch (order) {
    case PixelOrder::Bgrx:
      return JCS_EXT_BGRX;
    case PixelOrder::Rgbx:
      return JCS_EXT_RGBX;
    case PixelOrder::Xrgb:
      return JCS_EXT_XRGB;
    case PixelOrder::Xbgr:
      return JCS_EXT_XBGR;
  }
  return JCS_EXT_BGRX;
}

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
  Encoded Compress() {
    size = 0;
    trap.outOfMemory = false;
    if (!created) return Encoded::OutOfMemory;
    // A screen's JPEG at any quality is smaller than a byte a pixel; a
    // larger one grows the buffer.
    if (!Reserve(static_cast<std::size_t>(width) * height)) return Encoded::OutOfMemory;
    if (setjmp(trap.jump) != 0) {
      jpeg_abort_compress(&info);
      return trap.outOfMemory ? Encoded::OutOfMemory : Encoded::Failed;
    }
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = ColourSpace(order);
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
        rows[count] = const_cast<JSAMPROW>(top) + static_cast<std::ptrdiff_t>(first + count) * step;
      }
      jpeg_write_scanlines(&info, rows, count);
    }
    jpeg_finish_compress(&info);
    return Encoded::Ok;
  }

  std::span<const std::uint8_t> Bytes() const { return {buffer, size}; }

  void SetJob(const std::uint8_t* topRow, std::ptrdiff_t rowStep, int w, int h, PixelOrder o, int q,
              unsigned restart) {
    top = topRow;
    step = rowStep;
    width = w;
    height = h;
    order = o;
    quality = q;
    restartInterval = restart;
  }

  jpeg_compress_struct info{};
  ErrorTrap trap{};
  jpeg_destination_mgr destination{};
  bool created = false;
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t size = 0;

  // The job: the strip's top row, the step to the row below it (negative
  // for rows stored bottom first), its size and pixels' order.
  const std::uint8_t* top = nullptr;
  std::ptrdiff_t step = 0;
  int width = 0;
  int height = 0;
  PixelOrder order = PixelOrder::Bgrx;
  int quality = 0;
  unsigned restartInterval = 0;
  Encoded status = Encoded::Ok;
};

StripEncoder::StripEncoder()
    : top_(std::make_unique<Strip>()), bottom_(std::make_unique<Strip>()) {}

std::unique_ptr<StripEncoder> StripEncoder::Start() {
  std::unique_ptr<StripEncoder> encoder(new StripEncoder);
  // A process at its limit of threads (or of memory for a stack) still
  // makes its shots, in one strip.
  try {
    encoder->helper_ = std::thread([self = encoder.get()] { self->Helper(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return encoder;
}

StripEncoder::~StripEncoder() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  if (helper_.joinable()) helper_.join();
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

Encoded StripEncoder::Encode(const Pixels& pixels, int quality) {
  parts_ = {};
  if (!ValidPixels(pixels)) return Encoded::InvalidPicture;
  const auto split = StripSplit(pixels.width, pixels.height);
  if (!split) return Encoded::InvalidPicture;
  const int q = EncoderQuality(quality);
  const unsigned topMcus = static_cast<unsigned>((pixels.width + kMcuSide - 1) / kMcuSide) *
                           static_cast<unsigned>(*split / kMcuSide);

  // The picture's top row and the step downwards, whichever way its rows
  // are stored.
  const std::ptrdiff_t stride = pixels.stride;
  const std::uint8_t* topRow =
      pixels.bottomUp ? pixels.data + static_cast<std::ptrdiff_t>(pixels.height - 1) * stride
                      : pixels.data;
  const std::ptrdiff_t step = pixels.bottomUp ? -stride : stride;
  // The top strip is one restart interval: its header announces the
  // interval, and no marker falls inside it.
  top_->SetJob(topRow, step, pixels.width, *split, pixels.order, q, topMcus);
  bottom_->SetJob(topRow + *split * step, step, pixels.width, pixels.height - *split, pixels.order,
                  q, 0);
  {
    std::lock_guard lock(mutex_);
    bottomState_ = Bottom::Due;
  }
  wake_.notify_all();
  const Encoded topStatus = top_->Compress();
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
  if (topStatus != Encoded::Ok) return topStatus;
  if (bottom_->status != Encoded::Ok) return bottom_->status;

  // The top strip's header, with the whole picture's height, and its
  // entropy-coded data; the marker; the bottom strip's entropy-coded data
  // and its end of image.
  const auto top = top_->Bytes();
  const auto bottom = bottom_->Bytes();
  const auto frame = FindSegment(top, 0xC0);
  const auto scan = FindSegment(bottom, 0xDA);
  if (!frame || !scan || top.size() < 4 || top[top.size() - 2] != 0xFF ||
      top[top.size() - 1] != 0xD9) {
    return Encoded::Failed;
  }
  std::uint8_t* height = top_->buffer + *frame + 5;
  height[0] = static_cast<std::uint8_t>(pixels.height >> 8);
  height[1] = static_cast<std::uint8_t>(pixels.height & 0xFF);
  const std::size_t entropy = *scan + 2 + ReadBigEndian16(&bottom[*scan + 2]);
  if (entropy > bottom.size()) return Encoded::Failed;
  parts_ = {top.first(top.size() - 2), std::span<const std::uint8_t>(kRestart0),
            bottom.subspan(entropy)};
  return Encoded::Ok;
}

}  // namespace snapwick::jpeg
