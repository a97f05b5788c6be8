// Paints the benchmark's desktop picture on the root window of $DISPLAY.
//
//   snapwick_bench_desktop WIDTH HEIGHT
//
// Prints the picture's size as a q80 4:2:0 JPEG and a digest of its
// pixels. The root keeps the picture after this program ends.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "desktop_picture.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT\n", argv[0]);
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  if (width < 640 || height < 480) return 2;

  const std::vector<std::uint8_t> bgrx = DesktopPicture(width, height);
  std::uint64_t digest = 1469598103934665603ull;
  for (const std::uint8_t byte : bgrx) digest = (digest ^ byte) * 1099511628211ull;
  unsigned long jpegSize = 0;
  unsigned char* jpeg = nullptr;
  tjhandle compressor = tjInitCompress();
  if (tjCompress2(compressor, bgrx.data(), width, width * 4, height, TJPF_BGRX, &jpeg, &jpegSize,
                  TJSAMP_420, 80, 0) != 0) {
    jpegSize = 0;
  }
  tjFree(jpeg);
  tjDestroy(compressor);

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  if (DefaultDepth(display, screen) != 24) {
    std::fprintf(stderr, "needs a 24-bit screen\n");
    return 1;
  }
  XImage* image =
      XCreateImage(display, DefaultVisual(display, screen), 24, ZPixmap, 0,
                   const_cast<char*>(reinterpret_cast<const char*>(bgrx.data())),
                   static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
  const Pixmap pixmap =
      XCreatePixmap(display, root, static_cast<unsigned>(width), static_cast<unsigned>(height), 24);
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  // The window keeps the picture after the pixmap's name and this client
  // are gone.
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
  XFreeGC(display, gc);
  XFreePixmap(display, pixmap);
  image->data = nullptr;  // the vector owns the pixels
  XDestroyImage(image);
  XSync(display, False);
  XCloseDisplay(display);
  std::printf(
      "picture: %dx%d desktop (wallpaper, 3 windows, text, terminal, photo), "
      "q80 4:2:0 %lu bytes, pixels fnv1a %016llx\n",
      width, height, jpegSize, static_cast<unsigned long long>(digest));
  return jpegSize ? 0 : 1;
}
