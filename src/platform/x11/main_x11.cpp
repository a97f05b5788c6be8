// The program's entry on Linux: the one window on the X server and Qt's
// event loop on the one user-interface thread. The program reads no
// command line of its own.

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/main_window_logic.h"
#include "platform/x11/x11_platform.h"
#include "platform/x11/x11_texts.h"
#include "platform/x11/x_display.h"

namespace {

// The tests' build of the program that never asks for the server's key
// events, to show that the poll it falls back on still works: a virtual
// display always has them.
#ifdef SNAPWICK_POLL_ONLY
constexpr auto kKeyWake = snapwick::x11::KeyWake::Poll;
#else
constexpr auto kKeyWake = snapwick::x11::KeyWake::OnPress;
#endif

}  // namespace

int main(int argc, char** argv) {
  using namespace snapwick;
  // A write to a pipe or socket whose reader is gone fails with EPIPE, as
  // any other failed write, instead of ending the program.
  std::signal(SIGPIPE, SIG_IGN);
  // Before Qt, which would abort without a display.
  auto display = x11::XDisplay::Open();
  if (!display) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(x11::kNoXServerMessage.size()),
                 x11::kNoXServerMessage.data());
    return 1;
  }
  // The X server the screen is copied from also shows the window, in a
  // Wayland session too. The window lays itself out in device pixels at
  // the screen's DPI (window_scale.h), as the Windows build does: Qt's
  // scaling by the DPI would only stretch that layout by fractions. A
  // factor the user gives every Qt program (QT_SCALE_FACTOR) still applies.
  qputenv("QT_QPA_PLATFORM", "xcb");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  QApplication app(argc, argv);
  x11::X11Platform platform(std::move(display), kKeyWake);
  MainWindowLogic logic(platform);
  // Start-up may end the program before the window is ever shown (another
  // copy is running).
  if (!platform.Create(logic)) return 0;
  platform.ShowFirst();
  return QApplication::exec();
}
