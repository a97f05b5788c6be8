// The Wayland layer's pieces driven line by line from a scenario: reads
// commands on stdin, answers one line each on stdout, and prints the
// hotkey's edges as they come, each with its CLOCK_MONOTONIC time, so that
// a scenario can count them and time them against the key it injected.
//
//   grab PATH      the chosen output into PATH as a PPM:
//                  "grabbed W H STRIDE LAYOUT BOTTOMUP MS" or "nothing"
//   outputs        "outputs CHOSEN NAME@X,Y ..."
//   watch VK       "watch 1" when sway bound it, "watch 0" when not
//   layout NAME    the first layout letters are bound by from now on (an
//                  XKB layout compiled here, as the seat's keymap would
//                  come): "layout NAME"
//   unbind         "unbound"
//   quit           unbinds and ends
//   edges:         "edge down NS", "edge up NS"; "sway gone" when sway ends;
//                  "reloaded N" once sway's N-th reload was handled
//
// The first line, "ready PROTOCOL", names the copy protocol the grabs go
// through; SNAPWICK_COPY_PROTOCOL=wlr-screencopy-unstable-v1 prefers
// wlr-screencopy where the compositor offers both.
//
// Exit status 2 when the compositor or sway cannot be reached at start.

#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/wayland/screencopy_grabber.h"
#include "platform/wayland/sway_hotkey.h"

namespace {

using snapwick::Frame;
using snapwick::PixelLayout;

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

const char* LayoutName(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Bgrx:
      return "Bgrx";
    case PixelLayout::Rgbx:
      return "Rgbx";
    case PixelLayout::Xrgb:
      return "Xrgb";
    case PixelLayout::Xbgr:
      return "Xbgr";
  }
  return "?";
}

// Top row first, RGB, whatever the frame's order.
bool WritePpm(const Frame& frame, const std::string& path) {
  int r = 2, g = 1, b = 0;
  switch (frame.layout) {
    case PixelLayout::Bgrx:
      r = 2, g = 1, b = 0;
      break;
    case PixelLayout::Rgbx:
      r = 0, g = 1, b = 2;
      break;
    case PixelLayout::Xrgb:
      r = 1, g = 2, b = 3;
      break;
    case PixelLayout::Xbgr:
      r = 3, g = 2, b = 1;
      break;
  }
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << frame.width << ' ' << frame.height << "\n255\n";
  std::string row(static_cast<std::size_t>(frame.width) * 3, '\0');
  for (int y = 0; y < frame.height; ++y) {
    const int source = frame.bottomUp ? frame.height - 1 - y : y;
    const std::uint8_t* pixel = frame.pixels + static_cast<std::ptrdiff_t>(source) * frame.stride;
    for (int x = 0; x < frame.width; ++x, pixel += 4) {
      row[static_cast<std::size_t>(x) * 3] = static_cast<char>(pixel[r]);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>(pixel[g]);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>(pixel[b]);
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  return static_cast<bool>(out);
}

void Say(const std::string& line) { std::cout << line << std::endl; }

}  // namespace

int main() {
  std::unique_ptr<snapwick::wayland::ScreencopyGrabber> grabber =
      snapwick::wayland::ScreencopyGrabber::Connect();
  if (!grabber) {
    std::cerr << "no compositor with a screen copy protocol at WAYLAND_DISPLAY\n";
    return 2;
  }
  std::unique_ptr<snapwick::wayland::SwayHotkey> hotkey =
      snapwick::wayland::SwayHotkey::Connect([](bool down) {
        const long long now = MonotonicNs();
        Say(std::string("edge ") + (down ? "down " : "up ") + std::to_string(now));
      });
  if (!hotkey) {
    std::cerr << "no sway IPC socket\n";
    return 2;
  }
  Say(std::string("ready ") + snapwick::wayland::ProtocolName(grabber->Protocol()));

  std::string pending;
  bool swayThere = true;
  while (true) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {hotkey->EventFd(), POLLIN, 0}};
    const int count = swayThere && hotkey->EventFd() >= 0 ? 2 : 1;
    if (poll(fds, static_cast<nfds_t>(count), -1) < 0) continue;
    if (count == 2 && fds[1].revents) {
      const int reloads = hotkey->Reloads();
      if (!hotkey->ProcessEvents()) {
        swayThere = false;
        Say("sway gone");
      }
      if (hotkey->Reloads() != reloads) Say("reloaded " + std::to_string(hotkey->Reloads()));
    }
    if (!fds[0].revents) continue;
    char chunk[512];
    const ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) break;
    pending.append(chunk, static_cast<std::size_t>(got));
    std::size_t newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
      std::istringstream words(pending.substr(0, newline));
      pending.erase(0, newline + 1);
      std::string command;
      words >> command;
      if (command == "grab") {
        std::string path;
        words >> path;
        const auto start = std::chrono::steady_clock::now();
        const std::optional<Frame> frame = grabber->Grab();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!frame) {
          Say("nothing");
          continue;
        }
        std::ostringstream line;
        line << "grabbed " << frame->width << ' ' << frame->height << ' ' << frame->stride << ' '
             << LayoutName(frame->layout) << ' ' << frame->bottomUp << ' ' << ms;
        if (!path.empty() && !WritePpm(*frame, path)) line.str("unwritten");
        Say(line.str());
      } else if (command == "outputs") {
        std::ostringstream line;
        line << "outputs " << grabber->ChosenOutput();
        for (const auto& output : grabber->Outputs()) {
          line << ' ' << output.name << '@' << output.x << ',' << output.y;
        }
        Say(line.str());
      } else if (command == "watch") {
        int virtualKey = 0;
        words >> virtualKey;
        Say(std::string("watch ") + (hotkey->Watch(virtualKey) ? "1" : "0"));
      } else if (command == "layout") {
        std::string layout;
        words >> layout;
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        const xkb_rule_names names{"evdev", "pc105", layout.c_str(), "", ""};
        xkb_keymap* keymap =
            xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        hotkey->SetFirstLayout(keymap);
        if (keymap) xkb_keymap_unref(keymap);
        xkb_context_unref(context);
        Say(keymap ? "layout " + layout : "no layout " + layout);
      } else if (command == "unbind") {
        hotkey->Unbind();
        Say("unbound");
      } else if (command == "quit") {
        hotkey.reset();
        Say("bye");
        return 0;
      } else {
        Say("unknown " + command);
      }
    }
  }
  return 0;
}
