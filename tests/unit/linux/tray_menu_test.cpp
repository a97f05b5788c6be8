// The tray menu that the program pops and the one a StatusNotifier panel
// is given are one table; and a tray watch without an X server.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <string>
#include <vector>

#include "platform/linux/tray_icon.h"
#include "platform/linux/tray_presence.h"

namespace snapwick::linux {
namespace {

TEST(AddTrayMenuItems, BothMenus_TheTablesItemsSeparatorAndIdsInOrder) {
  QMenu popped;
  QMenu exported;
  AddTrayMenuItems(popped);
  AddTrayMenuItems(exported);
  for (const QMenu* menu : {&popped, &exported}) {
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text().toStdString(), "Настройки");
    EXPECT_EQ(actions[0]->data().toInt(), static_cast<int>(MenuItemId::SettingsItem));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text().toStdString(), "Выход");
    EXPECT_EQ(actions[2]->data().toInt(), static_cast<int>(MenuItemId::ExitItem));
  }
}

TEST(TrayPresence, NoXServer_NoTrayAndNoChangeReported) {
  // The tests' platform has no X connection to watch a selection on.
  std::vector<bool> changes;
  TrayPresence presence(TrayHost::XEmbed, [&changes](bool present) { changes.push_back(present); });
  EXPECT_FALSE(presence.Present());
  int result = 0;
  qintptr ignored = 0;
  EXPECT_FALSE(presence.nativeEventFilter("xcb_generic_event_t", &result, &ignored));
  EXPECT_TRUE(changes.empty());
}

}  // namespace
}  // namespace snapwick::linux
