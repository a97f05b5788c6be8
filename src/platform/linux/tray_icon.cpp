#include "platform/linux/tray_icon.h"

#include <QAction>
#include <QCursor>

#include "form/layout.h"

namespace snapwick::linux {

TrayIcon::TrayIcon(QIcon icon, std::function<void(TrayEvent)> onEvent)
    : image_(std::move(icon)), onEvent_(std::move(onEvent)) {}

TrayIcon::~TrayIcon() = default;

Status TrayIcon::Show(std::string_view tip) {
  if (!icon_) {
    // Qt picks the kind of tray when the icon is made; so do we.
    if (!host_) host_ = DetectTrayHost();
    icon_ = new QSystemTrayIcon(image_, &owner_);
    const TrayHost host = *host_;
    QObject::connect(icon_, &QSystemTrayIcon::activated, &owner_,
                     [this, host](QSystemTrayIcon::ActivationReason reason) {
                       const auto event = TrayEventOf(reason, host);
                       if (!event) return;
                       QMetaObject::invokeMethod(
                           &owner_, [this, e = *event] { onEvent_(e); }, Qt::QueuedConnection);
                     });
  }
  icon_->setToolTip(QString::fromUtf8(tip.data(), static_cast<qsizetype>(tip.size())));
  icon_->show();
  return Status::Ok;
}

Status TrayIcon::Remove() {
  if (!icon_) return Status::Failed;
  icon_->hide();
  // Later: this may run inside the icon's own click.
  icon_->deleteLater();
  icon_.clear();
  return Status::Ok;
}

bool TrayIcon::Reachable() const {
  return icon_ && icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

TrayMenu::TrayMenu() {
  for (const layout::MenuItem& item : layout::TrayMenu()) {
    if (item.caption == "-") {
      menu_.addSeparator();
    } else {
      QAction* action = menu_.addAction(
          QString::fromUtf8(item.caption.data(), static_cast<qsizetype>(item.caption.size())));
      action->setData(static_cast<int>(item.id));
    }
  }
}

std::optional<MenuItemId> TrayMenu::PopUp() {
  const QAction* chosen = menu_.exec(QCursor::pos());
  if (!chosen) return std::nullopt;
  return static_cast<MenuItemId>(chosen->data().toInt());
}

}  // namespace snapwick::linux
