// Drives the portal classes for the scenarios, as the program will: on the
// Qt event loop, one line of stdin a command, one line of stdout an event,
// each stamped with CLOCK_MONOTONIC in nanoseconds so that the scenario can
// set it against the keys it pressed.
//
//   portal_probe shortcuts TOKEN
//     bind VK | close | quit
//     -> "trigger NS TEXT", "pressed NS", "released NS", "ended NS",
//        "refused NS" (no trigger for the key)
//   portal_probe desktop
//     -> "globalshortcuts yes|no" for this desktop, then exits

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <string>

#include "platform/portal/desktop_backends.h"
#include "platform/portal/global_shortcuts.h"

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

int Shortcuts(QCoreApplication& app, const QString& token) {
  using snapwick::portal::GlobalShortcutsSession;
  auto* session = new GlobalShortcutsSession(QDBusConnection::sessionBus(), token);
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
  if (args.size() >= 3 && args[1] == QLatin1String("shortcuts")) return Shortcuts(app, args[2]);
  if (args.size() >= 2 && args[1] == QLatin1String("desktop")) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    const bool has = snapwick::portal::DesktopImplements(
        QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts"), desktops,
        snapwick::portal::SystemBackendFiles());
    std::printf("globalshortcuts %s\n", has ? "yes" : "no");
    return 0;
  }
  std::fprintf(stderr, "usage: portal_probe shortcuts TOKEN | desktop\n");
  return 2;
}
