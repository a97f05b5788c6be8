#include "platform/portal/portal_request.h"

#include <atomic>

namespace snapwick::portal {

ResponseOutcome OutcomeOf(std::uint32_t code) {
  switch (code) {
    case 0:
      return ResponseOutcome::Success;
    case 1:
      return ResponseOutcome::Cancelled;
    default:
      return ResponseOutcome::Failed;
  }
}

QString SenderElement(const QString& uniqueName) {
  QString element = uniqueName.startsWith(u':') ? uniqueName.mid(1) : uniqueName;
  element.replace(u'.', u'_');
  return element;
}

QString RequestPath(const QDBusConnection& bus, const QString& token) {
  return QStringLiteral("%1/request/%2/%3")
      .arg(QLatin1String(kPortalPath), SenderElement(bus.baseService()), token);
}

QString SessionPath(const QDBusConnection& bus, const QString& token) {
  return QStringLiteral("%1/session/%2/%3")
      .arg(QLatin1String(kPortalPath), SenderElement(bus.baseService()), token);
}

QString NextRequestToken() {
  // Several objects and threads ask at once; a token must never repeat in
  // one connection's life.
  static std::atomic<unsigned> counter{0};
  return QStringLiteral("snapwick_%1").arg(++counter);
}

}  // namespace snapwick::portal
