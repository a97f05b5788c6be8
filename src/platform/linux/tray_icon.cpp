#include "platform/linux/tray_icon.h"

#include <QAction>
#include <QCursor>

#include "form/layout.h"

namespace snapwick::linux {

void AddTrayMenuItems(QMenu& menu) {
  for (const layout::MenuItem& item : layout::TrayMenu()) {
    if (item.caption == "-") {
      menu.addSeparator();
    } else {
      QAction* action = menu.addAction(
          QString::fromUtf8(item.caption.data(), static_cast<qsizetype>(item.caption.size())));
      action->setData(static_cast<int>(item.id));
    }
  }
}

TrayIcon::TrayIcon(QIcon icon, Handlers handlers)
    : image_(std::move(icon)), handlers_(std::move(handlers)) {}

TrayIcon::~TrayIcon() {
  // The icon goes before the menu it exports.
  delete icon_.data();
}

void TrayIcon::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&owner_, std::move(call), Qt::QueuedConnection);
}

Status TrayIcon::Show(std::string_view tip) {
  if (!icon_) {
    // Qt picks the kind of tray when the icon is made; so do we.
    if (!host_) host_ = DetectTrayHost();
    icon_ = new QSystemTrayIcon(image_, &owner_);
    const TrayHost host = *host_;
    QObject::connect(icon_, &QSystemTrayIcon::activated, &owner_,
                     [this, host](QSystemTrayIcon::ActivationReason reason) {
                       const auto event = TrayEventOf(reason, host);
                       if (!event || !handlers_.onEvent) return;
                       Post([this, e = *event] { handlers_.onEvent(e); });
                     });
    // Only there: an XEmbed icon with a menu of its own would pop it on
    // the right press beside the program's.
    if (host == TrayHost::StatusNotifier) {
      if (!exportedMenu_) {
        exportedMenu_ = std::make_unique<QMenu>();
        AddTrayMenuItems(*exportedMenu_);
        QObject::connect(exportedMenu_.get(), &QMenu::triggered, &owner_, [this](QAction* action) {
          const auto item = static_cast<MenuItemId>(action->data().toInt());
          if (handlers_.onMenuItem) Post([this, item] { handlers_.onMenuItem(item); });
        });
      }
      icon_->setContextMenu(exportedMenu_.get());
    }
    if (!presence_) {
      presence_ = std::make_unique<TrayPresence>(host, [this](bool present) {
        if (!present && icon_ && handlers_.onTrayLost) Post([this] { handlers_.onTrayLost(); });
      });
    }
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

TrayMenu::TrayMenu() { AddTrayMenuItems(menu_); }

std::optional<MenuItemId> TrayMenu::PopUp() {
  const QAction* chosen = menu_.exec(QCursor::pos());
  if (!chosen) return std::nullopt;
  return static_cast<MenuItemId>(chosen->data().toInt());
}

}  // namespace snapwick::linux
