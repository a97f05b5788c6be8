// The least a screenshot can cost on X11, as the yardstick for the
// program's shot: the root window copied through shared memory, one
// TurboJPEG call (BGRX, 4:2:0), one write. Everything that can be made
// once (the connection, the segment, the compressor, the output buffer) is
// made before the first shot. Shares no code with the program.
//
//   snapwick_bench_probe OUT_DIR QUALITY
//
// Prints "ready" once set up; then each byte read on stdin makes one shot,
// OUT_DIR/probe-N.jpg. Ends at the end of stdin.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUT_DIR QUALITY\n", argv[0]);
    return 2;
  }
  const std::string outDir = argv[1];
  const int quality = std::atoi(argv[2]);

  Display* display = XOpenDisplay(nullptr);
  if (!display || !XShmQueryExtension(display)) {
    std::fprintf(stderr, "probe: no X display with shared memory\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
  XShmSegmentInfo segment{};
  XImage* image = XShmCreateImage(
      display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
      ZPixmap, nullptr, &segment, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!image || image->bits_per_pixel != 32) {
    std::fprintf(stderr, "probe: needs 32-bit pixels\n");
    return 1;
  }
  segment.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * height,
                         IPC_CREAT | 0600);
  segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
  segment.readOnly = False;
  XShmAttach(display, &segment);
  XSync(display, False);
  shmctl(segment.shmid, IPC_RMID, nullptr);

  tjhandle compressor = tjInitCompress();
  const unsigned long capacity = tjBufSize(width, height, TJSAMP_420);
  unsigned char* buffer = tjAlloc(static_cast<int>(capacity));
  std::printf("ready\n");
  std::fflush(stdout);

  int status = 0;
  char byte = 0;
  for (int n = 1; read(STDIN_FILENO, &byte, 1) == 1; ++n) {
    if (!XShmGetImage(display, root, image, 0, 0, AllPlanes)) {
      status = 1;
      break;
    }
    unsigned long size = capacity;
    if (tjCompress2(compressor, reinterpret_cast<unsigned char*>(image->data), width,
                    image->bytes_per_line, height, TJPF_BGRX, &buffer, &size, TJSAMP_420, quality,
                    TJFLAG_NOREALLOC) != 0) {
      status = 1;
      break;
    }
    const std::string path = outDir + "/probe-" + std::to_string(n) + ".jpg";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, buffer, size) != static_cast<ssize_t>(size) || close(fd) != 0) {
      status = 1;
      break;
    }
  }
  tjFree(buffer);
  tjDestroy(compressor);
  XShmDetach(display, &segment);
  XDestroyImage(image);
  shmdt(segment.shmaddr);
  XCloseDisplay(display);
  return status;
}
