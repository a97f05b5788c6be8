// Drives the portal classes for the scenarios, as the program will: on the
// Qt event loop, one line of stdin a command, one line of stdout an event,
// each stamped with CLOCK_MONOTONIC in nanoseconds so that the scenario can
// set it against the keys it pressed.
//
//   portal_probe shortcuts TOKEN [register]
//     bind VK | close | quit
//     -> "trigger NS TEXT", "pressed NS", "released NS", "ended NS",
//        "refused NS" (no trigger for the key); with `register`, first
//        "registration NS STAGE WORDS" once a connection of its own is
//        registered under the program's id (its desktop entry naming the
//        probe), as the program does it. The desktop's way of taking the
//        shortcut is chosen from the environment, as the program does.
//   portal_probe screencast TOKEN_FILE
//     start | grab PNG | shot JPEG QUALITY | close | drop | quit
//     through the program's own screen source (PortalScreenSource), its
//     Screenshot fallback left out: the token kept in TOKEN_FILE by it.
//     (drop: the portal session closed under a running stream, as when the
//     user stops sharing: the stream must notice its end)
//     -> "started NS NODE W H", "token NS TOKEN|-", "start-failed NS OUTCOME",
//        "ended NS", "stream-ended NS", "no-frame NS",
//        "grabbed NS W H LAYOUT GRAB_NS AGE_NS COPY_NS received N copied N ...",
//        "shot-written NS GRAB_NS ENCODE_WRITE_NS AGE_NS", "busy NS"
//     (a grab before the first frame is told when it comes, up to 5 s;
//     GRAB is the Grab call itself, COPY the frame's copy inside it, AGE
//     how old the frame was when it was told; received and copied count
//     the stream's frames; shot: the frame compressed at QUALITY and
//     written as the program does it)
//   portal_probe screenshot
//     grab PNG | quit
//     -> "shot NS OUTCOME W H GRAB_NS"
//   portal_probe desktop
//     -> "globalshortcuts yes|no" for this desktop, then exits

#include <unistd.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QImage>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "jpeg/shot_encoder.h"
#include "platform/portal/desktop_backends.h"
#include "platform/portal/desktop_entry.h"
#include "platform/portal/global_shortcuts.h"
#include "platform/portal/pipewire_stream.h"
#include "platform/portal/portal_connection.h"
#include "platform/portal/portal_screen.h"
#include "platform/portal/restore_token.h"
#include "platform/portal/screen_cast.h"
#include "platform/portal/screenshot_portal.h"

namespace {

long long NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Say(const std::string& event, const QString& rest = {}) {
  std::printf("%s %lld%s%s\n", event.c_str(), NowNs(), rest.isEmpty() ? "" : " ",
              rest.toUtf8().constData());
  std::fflush(stdout);
}

using Clock = std::chrono::steady_clock;

long long Ns(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
}

const char* LayoutName(snapwick::PixelLayout layout) {
  switch (layout) {
    case snapwick::PixelLayout::Bgrx:
      return "Bgrx";
    case snapwick::PixelLayout::Rgbx:
      return "Rgbx";
    case snapwick::PixelLayout::Xrgb:
      return "Xrgb";
    case snapwick::PixelLayout::Xbgr:
      return "Xbgr";
  }
  return "?";
}

snapwick::jpeg::PixelOrder OrderOf(snapwick::PixelLayout layout) {
  switch (layout) {
    case snapwick::PixelLayout::Bgrx:
      return snapwick::jpeg::PixelOrder::Bgrx;
    case snapwick::PixelLayout::Rgbx:
      return snapwick::jpeg::PixelOrder::Rgbx;
    case snapwick::PixelLayout::Xrgb:
      return snapwick::jpeg::PixelOrder::Xrgb;
    case snapwick::PixelLayout::Xbgr:
      return snapwick::jpeg::PixelOrder::Xbgr;
  }
  return snapwick::jpeg::PixelOrder::Bgrx;
}

// The frame as the encoder would read it, saved for the scenario to check.
bool SaveFrame(const snapwick::Frame& frame, const QString& path) {
  QImage image(frame.width, frame.height, QImage::Format_RGB888);
  for (int y = 0; y < frame.height; ++y) {
    const std::uint8_t* row = frame.pixels + static_cast<std::ptrdiff_t>(frame.stride) * y;
    std::uint8_t* out = image.scanLine(y);
    for (int x = 0; x < frame.width; ++x) {
      const std::uint8_t* p = row + 4 * x;
      std::uint8_t r = 0, g = 0, b = 0;
      switch (frame.layout) {
        case snapwick::PixelLayout::Bgrx:
          b = p[0], g = p[1], r = p[2];
          break;
        case snapwick::PixelLayout::Rgbx:
          r = p[0], g = p[1], b = p[2];
          break;
        case snapwick::PixelLayout::Xrgb:
          r = p[1], g = p[2], b = p[3];
          break;
        case snapwick::PixelLayout::Xbgr:
          b = p[1], g = p[2], r = p[3];
          break;
      }
      out[3 * x] = r, out[3 * x + 1] = g, out[3 * x + 2] = b;
    }
  }
  return image.save(path, "PNG");
}

// Reads stdin a line at a time on the event loop.
void OnEachLine(QCoreApplication& app, std::function<void(const std::string&)> handle) {
  auto* input = new QSocketNotifier(0, QSocketNotifier::Read, &app);
  QObject::connect(input, &QSocketNotifier::activated, [input, handle, &app] {
    std::string line;
    if (!std::getline(std::cin, line) || line == "quit") {
      input->setEnabled(false);
      handle("quit");
      Say("quit");
      app.quit();
      return;
    }
    handle(line);
  });
}

// What the probe does with a frame of the screen source: saved as a PNG,
// or compressed and written as the program does it, and told.
struct FrameOrder {
  std::string line;
  Clock::time_point asked;
  Clock::duration grab{};  // the Grab call itself
};

// The ScreenCast way of the program's screen source (without its
// Screenshot fallback, so that a frame is always the stream's).
int ScreenCast(QCoreApplication& app, const QString& tokenFile) {
  using namespace snapwick::portal;
  std::unique_ptr<PortalScreenSource> source;
  snapwick::jpeg::ShotEncoder encoder(snapwick::jpeg::UsableCores() >= 2);
  Clock::time_point startedAt;
  std::optional<FrameOrder> order;
  auto* endWatch = new QTimer(&app);
  endWatch->setInterval(10);
  QObject::connect(endWatch, &QTimer::timeout, [&] {
    if (source && source->Stream() && source->Stream()->Ended()) {
      endWatch->stop();
      Say("stream-ended");
    }
  });
  const auto finish = [&](std::optional<snapwick::Frame> frame) {
    const auto after = Clock::now();
    const FrameOrder done = *order;
    order.reset();
    if (!frame || source->LastFrameOrigin() != FrameOrigin::ScreenCast) {
      Say("no-frame");
      return;
    }
    const PipeWireStream& stream = *source->Stream();
    const auto timing = stream.LastTiming();
    if (done.line[0] == 's') {
      // "shot FILE QUALITY": what the program does with the frame, timed
      // from the grab's return to the whole file.
      std::istringstream words(done.line.substr(5));
      std::string path;
      int quality = 80;
      words >> path >> quality;
      const snapwick::jpeg::Pixels pixels{frame->pixels, frame->width,    frame->height,
                                          frame->stride, frame->bottomUp, OrderOf(frame->layout)};
      const bool encoded = encoder.Encode(pixels, quality) == snapwick::jpeg::Encoded::Ok;
      std::ofstream file(path, std::ios::binary | std::ios::trunc);
      for (const auto part : encoder.Parts()) {
        file.write(reinterpret_cast<const char*>(part.data()),
                   static_cast<std::streamsize>(part.size()));
      }
      file.close();
      const auto written = Clock::now();
      if (!encoded || !file) {
        Say("no-file");
        return;
      }
      Say("shot-written", QStringLiteral("%1 %2 %3")
                              .arg(Ns(done.grab))
                              .arg(Ns(written - after))
                              .arg(Ns(after - timing.lastFrameAt)));
      return;
    }
    SaveFrame(*frame, QString::fromStdString(done.line.substr(5)));
    Say("grabbed", QStringLiteral("%1 %2 %3 %4 %5 %6 received %7 copied %8 "
                                  "first_frame_after_start %9")
                       .arg(frame->width)
                       .arg(frame->height)
                       .arg(QLatin1String(LayoutName(frame->layout)))
                       .arg(Ns(done.grab))
                       .arg(Ns(after - timing.lastFrameAt))
                       .arg(Ns(timing.lastCopy))
                       .arg(stream.FramesReceived())
                       .arg(stream.FramesCopied())
                       .arg(Ns(timing.firstFrameAt - startedAt)));
  };
  OnEachLine(app, [&](const std::string& line) {
    if (line == "start") {
      startedAt = Clock::now();
      PortalScreenSource::Options options;
      options.screenshot = false;
      options.tokenFile = tokenFile;
      options.firstFrame = std::chrono::seconds(5);
      source = std::make_unique<PortalScreenSource>(
          std::make_shared<PortalConnection>(QDBusConnection::sessionBus()), options);
      source->SetGrabbedHandler([&](std::optional<snapwick::Frame> frame) {
        if (order) finish(frame);
      });
      ScreenCastSession& cast = source->Cast();
      // After the source's own handlers: the token is in its file by now.
      QObject::connect(&cast, &ScreenCastSession::RestoreTokenIssued, [](const QString& token) {
        Say("token", token.isEmpty() ? QStringLiteral("-") : token);
      });
      QObject::connect(&cast, &ScreenCastSession::StartFailed, [](ResponseOutcome outcome) {
        Say("start-failed", QString::number(static_cast<int>(outcome)));
      });
      QObject::connect(&cast, &ScreenCastSession::Ended, [] { Say("ended"); });
      QObject::connect(&cast, &ScreenCastSession::Started,
                       [](const QDBusUnixFileDescriptor&, const CastStream& stream) {
                         Say("started", QStringLiteral("%1 %2 %3")
                                            .arg(stream.node)
                                            .arg(stream.size.width())
                                            .arg(stream.size.height()));
                       });
      // After the connections: the first answers may come at once.
      source->SetWanted(true);
    } else if (line.rfind("grab ", 0) == 0 || line.rfind("shot ", 0) == 0) {
      if (order) {
        Say("busy");
        return;
      }
      order = FrameOrder{line, Clock::now()};
      const snapwick::ScreenGrab grab = source ? source->Grab() : snapwick::ScreenGrab{};
      order->grab = Clock::now() - order->asked;
      switch (grab.state) {
        case snapwick::ScreenGrab::State::Ready:
          finish(grab.frame);
          break;
        case snapwick::ScreenGrab::State::Pending:
          break;  // the handler finishes it
        case snapwick::ScreenGrab::State::Failed:
          finish(std::nullopt);
          break;
      }
    } else if (line == "drop") {
      // The desktop's session ends under the running stream.
      if (source) source->Cast().Close();
      Say("dropped");
      endWatch->start();
    } else if (line == "close" || line == "quit") {
      source.reset();
      order.reset();
      if (line == "close") Say("closed");
    }
  });
  Say("ready");
  return app.exec();
}

int Screenshot(QCoreApplication& app) {
  using namespace snapwick::portal;
  std::optional<std::pair<QString, Clock::time_point>> asked;
  std::unique_ptr<ScreenshotPortal> portal;
  portal = std::make_unique<ScreenshotPortal>([&](std::optional<snapwick::Frame> frame) {
    const auto took = Clock::now() - asked->second;
    const QString path = asked->first;
    asked.reset();
    if (!frame) {
      Say("shot",
          QStringLiteral("%1 0 0 %2").arg(static_cast<int>(portal->LastOutcome())).arg(Ns(took)));
      return;
    }
    SaveFrame(*frame, path);
    Say("shot", QStringLiteral("0 %1 %2 %3").arg(frame->width).arg(frame->height).arg(Ns(took)));
  });
  OnEachLine(app, [&](const std::string& line) {
    if (line.rfind("grab ", 0) != 0) return;
    if (asked) {
      Say("busy");
      return;
    }
    asked.emplace(QString::fromStdString(line.substr(5)), Clock::now());
    if (!portal->Ask(std::chrono::seconds(10))) {
      asked.reset();
      Say("busy");
    }
  });
  Say("ready");
  return app.exec();
}

int Shortcuts(QCoreApplication& app, const QString& token, bool registered) {
  using namespace snapwick::portal;
  std::shared_ptr<PortalConnection> connection;
  if (registered) {
    connection = PortalConnection::Open(
        QString(),
        {QLatin1String(kAppId), [] { return EnsureOwnDesktopEntry() != EntryWrite::Failed; }});
    if (!connection) return 1;
    QObject::connect(connection.get(), &PortalConnection::Settled, [c = connection.get()] {
      Say("registration",
          QStringLiteral("%1 %2").arg(static_cast<int>(c->Stage())).arg(c->Refusal()));
    });
  } else {
    connection = std::make_shared<PortalConnection>(QDBusConnection::sessionBus());
  }
  const ShortcutFlow flow =
      ShortcutFlowFor(CurrentDesktops(), qEnvironmentVariable("KDE_SESSION_VERSION"));
  auto* session = new GlobalShortcutsSession(connection, token, flow);
  QObject::connect(session, &GlobalShortcutsSession::Pressed, [] { Say("pressed"); });
  QObject::connect(session, &GlobalShortcutsSession::Released, [] { Say("released"); });
  QObject::connect(session, &GlobalShortcutsSession::Ended, [] { Say("ended"); });
  QObject::connect(session, &GlobalShortcutsSession::TriggerReported, [session](const QString& t) {
    Say("trigger", (t.isEmpty() ? QStringLiteral("-") : t) + u' ' + session->RequestedTrigger());
  });
  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    std::string line;
    if (!std::getline(std::cin, line) || line == "quit") {
      input.setEnabled(false);
      delete session;
      session = nullptr;
      Say("quit");
      app.quit();
      return;
    }
    if (line.rfind("bind ", 0) == 0) {
      const int key = std::stoi(line.substr(5), nullptr, 0);
      if (session->Bind(key) != snapwick::Status::Ok) Say("refused");
    } else if (line == "close") {
      session->Close();
      Say("closed");
    }
  });
  Say("ready");
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() >= 3 && args[1] == QLatin1String("shortcuts")) {
    return Shortcuts(app, args[2], args.size() >= 4 && args[3] == QLatin1String("register"));
  }
  if (args.size() >= 3 && args[1] == QLatin1String("screencast")) return ScreenCast(app, args[2]);
  if (args.size() >= 2 && args[1] == QLatin1String("screenshot")) return Screenshot(app);
  if (args.size() >= 2 && args[1] == QLatin1String("desktop")) {
    const bool has = snapwick::portal::DesktopImplements(
        QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts"),
        snapwick::portal::CurrentDesktops(), snapwick::portal::SystemBackendFiles());
    std::printf("globalshortcuts %s\n", has ? "yes" : "no");
    return 0;
  }
  std::fprintf(
      stderr,
      "usage: portal_probe shortcuts TOKEN [register] | screencast TOKEN_FILE | screenshot | "
      "desktop\n");
  return 2;
}
