#include "platform/linux/session_end.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace snapwick::linux {

SessionEnd::SessionEnd(std::function<bool()> onEnd) : onEnd_(std::move(onEnd)) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
  app->installEventFilter(this);
  // The program keeps nothing for a next session and starts only when the
  // user starts it, as on Windows.
  const auto never = [](QSessionManager& manager) {
    manager.setRestartHint(QSessionManager::RestartNever);
  };
  connect(app, &QGuiApplication::commitDataRequest, this, never);
  connect(app, &QGuiApplication::saveStateRequest, this, never);
}

SessionEnd::~SessionEnd() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool SessionEnd::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() ||
      !event->spontaneous()) {
    return false;
  }
  if (onEnd_()) {
    event->ignore();
  } else {
    event->accept();
  }
  return true;
}

}  // namespace snapwick::linux
