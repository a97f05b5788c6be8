#include "platform/x11/screen_copy.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace snapwick::x11 {
namespace {

struct ResourcesDeleter {
  void operator()(XRRScreenResources* r) const { ::XRRFreeScreenResources(r); }
};
struct OutputDeleter {
  void operator()(XRROutputInfo* o) const { ::XRRFreeOutputInfo(o); }
};
struct CrtcDeleter {
  void operator()(XRRCrtcInfo* c) const { ::XRRFreeCrtcInfo(c); }
};
struct MonitorsDeleter {
  void operator()(XRRMonitorInfo* m) const { ::XRRFreeMonitors(m); }
};
struct ImageDeleter {
  void operator()(XImage* i) const { XDestroyImage(i); }
};

PixelFormat RootFormat(Display* display) {
  PixelFormat f;
  const int screen = DefaultScreen(display);
  const Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  f.redMask = static_cast<std::uint32_t>(visual->red_mask);
  f.greenMask = static_cast<std::uint32_t>(visual->green_mask);
  f.blueMask = static_cast<std::uint32_t>(visual->blue_mask);
  f.msbFirst = ImageByteOrder(display) == MSBFirst;
  f.bitsPerPixel = 0;
  int count = 0;
  if (XPixmapFormatValues* formats = ::XListPixmapFormats(display, &count)) {
    for (int i = 0; i < count; ++i) {
      if (formats[i].depth == depth) f.bitsPerPixel = formats[i].bits_per_pixel;
    }
    ::XFree(formats);
  }
  return f;
}

PixelFormat FormatOf(const XImage& image) {
  PixelFormat f;
  f.bitsPerPixel = image.bits_per_pixel;
  f.msbFirst = image.byte_order == MSBFirst;
  f.redMask = static_cast<std::uint32_t>(image.red_mask);
  f.greenMask = static_cast<std::uint32_t>(image.green_mask);
  f.blueMask = static_cast<std::uint32_t>(image.blue_mask);
  return f;
}

}  // namespace

// A segment of shared memory that the server writes the copy into, sized
// for one rectangle; made anew when the size changes.
struct ScreenCopier::SharedImage {
  SharedImage(XDisplay& display, int width, int height) : display(display) {
    Display* d = display.Get();
    const int screen = DefaultScreen(d);
    image = ::XShmCreateImage(d, DefaultVisual(d, screen), DefaultDepth(d, screen), ZPixmap,
                              nullptr, &segment, width, height);
    if (!image) return;
    const std::size_t size = static_cast<std::size_t>(image->bytes_per_line) * height;
    segment.shmid = ::shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (segment.shmid < 0) return;
    void* at = ::shmat(segment.shmid, nullptr, 0);
    if (at != reinterpret_cast<void*>(-1)) {
      segment.shmaddr = image->data = static_cast<char*>(at);
      segment.readOnly = False;
      XErrorTrap trap(display);
      attached = ::XShmAttach(d, &segment) && !trap.Failed();
    }
    // Marked for removal at once: the segment goes with its last user,
    // also when the program is killed.
    ::shmctl(segment.shmid, IPC_RMID, nullptr);
  }
  ~SharedImage() {
    if (attached) {
      XErrorTrap trap(display);
      ::XShmDetach(display.Get(), &segment);
      // Errors of the detach are this trap's, not a later request's.
      trap.Failed();
    }
    // A shared image's destroy function leaves the segment alone.
    if (image) XDestroyImage(image);
    if (segment.shmaddr) ::shmdt(segment.shmaddr);
  }
  SharedImage(const SharedImage&) = delete;
  SharedImage& operator=(const SharedImage&) = delete;

  XDisplay& display;
  XShmSegmentInfo segment{};
  XImage* image = nullptr;
  bool attached = false;
};

struct ScreenCopier::PlainImage {
  std::unique_ptr<XImage, ImageDeleter> image;
};

ScreenCopier::ScreenCopier(std::shared_ptr<XDisplay> display)
    : owner_(std::move(display)), display_(*owner_) {
  Display* d = display_.Get();
  format_ = RootFormat(d);
  sharedMemoryUsable_ = ::XShmQueryExtension(d) != False;
  int event = 0, error = 0, major = 0, minor = 0;
  // The primary output and the screen's current resources need RandR 1.3,
  // monitors (which may be set apart from the outputs) 1.5.
  const bool known = ::XRRQueryExtension(d, &event, &error) && ::XRRQueryVersion(d, &major, &minor);
  randr_ = known && (major > 1 || (major == 1 && minor >= 3));
  monitors_ = known && (major > 1 || (major == 1 && minor >= 5));
}

std::optional<Rect> ScreenCopier::PrimaryArea() {
  if (!monitors_) return PrimaryCrtc();
  // The desktop's idea of the primary monitor, which is also where the
  // window is centred: a monitor set with `xrandr --setmonitor` need not be
  // an output's whole picture.
  Display* d = display_.Get();
  XErrorTrap trap(display_);
  int count = 0;
  std::unique_ptr<XRRMonitorInfo, MonitorsDeleter> monitors(
      ::XRRGetMonitors(d, DefaultRootWindow(d), True, &count));
  // The request waited for its reply.
  if (!monitors || trap.FailedSoFar()) return PrimaryCrtc();
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors.get()[i];
    if (m.primary) return Rect{m.x, m.y, m.width, m.height};
  }
  return std::nullopt;
}

ScreenCopier::~ScreenCopier() = default;

std::optional<Rect> ScreenCopier::PrimaryCrtc() {
  if (!randr_) return std::nullopt;
  Display* d = display_.Get();
  const Window root = DefaultRootWindow(d);
  XErrorTrap trap(display_);
  const RROutput primary = ::XRRGetOutputPrimary(d, root);
  if (primary == None) return std::nullopt;
  std::unique_ptr<XRRScreenResources, ResourcesDeleter> resources(
      ::XRRGetScreenResourcesCurrent(d, root));
  if (!resources) return std::nullopt;
  std::unique_ptr<XRROutputInfo, OutputDeleter> output(
      ::XRRGetOutputInfo(d, resources.get(), primary));
  if (!output || output->crtc == None) return std::nullopt;
  std::unique_ptr<XRRCrtcInfo, CrtcDeleter> crtc(
      ::XRRGetCrtcInfo(d, resources.get(), output->crtc));
  // Each of those waited for its reply.
  if (!crtc || trap.FailedSoFar()) return std::nullopt;
  return Rect{crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
}

std::optional<Frame> ScreenCopier::Copy() {
  plain_.reset();
  if (display_.IsXWayland()) return std::nullopt;
  Display* d = display_.Get();

  Window root = DefaultRootWindow(d);
  Window parent = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!::XGetGeometry(d, root, &parent, &x, &y, &width, &height, &border, &depth)) {
    return std::nullopt;
  }
  const Rect rect = PrimaryRect(PrimaryArea(), static_cast<int>(width), static_cast<int>(height));
  if (rect.Empty()) return std::nullopt;

  const auto plan = PlanCopy(format_, sharedMemoryUsable_);
  if (!plan) return std::nullopt;
  const bool copied =
      plan->request == CopyRequest::SharedMemory ? CopyShared(rect) : CopyPlain(rect);
  if (!copied) return std::nullopt;
  const XImage& image = plain_ ? *plain_->image : *shared_->image;

  const PixelFormat got = FormatOf(image);
  const auto reading = PlanCopy(got, false);
  if (!reading) return std::nullopt;
  const auto* data = reinterpret_cast<const std::uint8_t*>(image.data);
  if (!reading->convert) {
    return Frame{data, rect.width, rect.height, image.bytes_per_line, PixelLayout::Bgrx, false};
  }
  const int stride = rect.width * 4;
  converted_.resize(static_cast<std::size_t>(stride) * rect.height);
  ConvertToBgrx(got, data, image.bytes_per_line, rect.width, rect.height, converted_.data(),
                stride);
  return Frame{converted_.data(), rect.width, rect.height, stride, PixelLayout::Bgrx, false};
}

bool ScreenCopier::CopyShared(const Rect& r) {
  if (!shared_ || shared_->image->width != r.width || shared_->image->height != r.height) {
    shared_.reset();
    auto made = std::make_unique<SharedImage>(display_, r.width, r.height);
    if (!made->attached) {
      // The server cannot reach our memory (a remote display): every copy
      // from now on goes the plain way.
      sharedMemoryUsable_ = false;
      return CopyPlain(r);
    }
    shared_ = std::move(made);
  }
  XErrorTrap trap(display_);
  const bool got = ::XShmGetImage(display_.Get(), DefaultRootWindow(display_.Get()), shared_->image,
                                  r.x, r.y, AllPlanes) != False;
  return got && !trap.FailedSoFar();
}

bool ScreenCopier::CopyPlain(const Rect& r) {
  Display* d = display_.Get();
  XErrorTrap trap(display_);
  auto made = std::make_unique<PlainImage>();
  made->image.reset(::XGetImage(d, DefaultRootWindow(d), r.x, r.y, static_cast<unsigned>(r.width),
                                static_cast<unsigned>(r.height), AllPlanes, ZPixmap));
  if (!made->image || trap.FailedSoFar()) return false;
  plain_ = std::move(made);
  return true;
}

}  // namespace snapwick::x11
