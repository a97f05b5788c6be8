#pragma once
// The tray icon and its menu. Clicks reach the program after the icon's
// own signal has returned, as Windows posts its tray messages: a menu
// opened inside the signal could remove the icon under itself.

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>
#include <string_view>

#include "form/roles.h"
#include "platform/events.h"
#include "platform/linux/tray_events.h"
#include "platform/status.h"

namespace snapwick::linux {

class TrayIcon {
 public:
  TrayIcon(QIcon icon, std::function<void(TrayEvent)> onEvent);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Shows the icon with its tip; the tip changes if shown already.
  Status Show(std::string_view tip);
  Status Remove();
  // Whether the user can reach the program through the icon now.
  bool Reachable() const;

 private:
  QIcon image_;
  std::function<void(TrayEvent)> onEvent_;
  QObject owner_;  // the icons' parent, so that none outlives the program
  QPointer<QSystemTrayIcon> icon_;
  std::optional<TrayHost> host_;
};

// The tray menu built from the layout's table.
class TrayMenu {
 public:
  TrayMenu();
  // At the pointer; returns when the menu has closed, with the item chosen.
  std::optional<MenuItemId> PopUp();

 private:
  QMenu menu_;
};

}  // namespace snapwick::linux
