#pragma once
// The tray icon and its menu. Clicks reach the program after the icon's
// own signal has returned, as Windows posts its tray messages: a menu
// opened inside the signal could remove the icon under itself.
//
// An XEmbed tray hands the icon its presses, and the program pops its own
// menu on the right one. A StatusNotifier host draws the menu itself, from
// the copy of it that the icon exports over D-Bus (com.canonical.dbusmenu);
// without one the host shows a menu of its own and never the program's.

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "form/roles.h"
#include "platform/events.h"
#include "platform/linux/tray_events.h"
#include "platform/linux/tray_presence.h"
#include "platform/status.h"

namespace snapwick::linux {

// The tray menu's items from the layout's table, each action holding its
// item's id.
void AddTrayMenuItems(QMenu& menu);

class TrayIcon {
 public:
  struct Handlers {
    std::function<void(TrayEvent)> onEvent;
    // An item chosen in the menu that a StatusNotifier host showed.
    std::function<void(MenuItemId)> onMenuItem;
    // The tray went away (its panel crashed or is restarting); Qt docks the
    // icon again by itself when a tray comes back.
    std::function<void()> onTrayLost;
  };

  TrayIcon(QIcon icon, Handlers handlers);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Shows the icon with its tip; the tip changes if shown already.
  Status Show(std::string_view tip);
  Status Remove();
  // Whether the user can reach the program through the icon now.
  bool Reachable() const;

 private:
  void Post(std::function<void()> call);

  QIcon image_;
  Handlers handlers_;
  QObject owner_;  // the icons' parent, so that none outlives the program
  QPointer<QSystemTrayIcon> icon_;
  std::optional<TrayHost> host_;
  // The menu that a StatusNotifier host shows.
  std::unique_ptr<QMenu> exportedMenu_;
  std::unique_ptr<TrayPresence> presence_;
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
