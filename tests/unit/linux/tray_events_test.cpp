#include "platform/linux/tray_events.h"

#include <gtest/gtest.h>

namespace snapwick::linux {
namespace {

using Reason = QSystemTrayIcon::ActivationReason;

TEST(TrayEventOf, ReasonsUnderEachHost_TheEventsThatToggleOnlyOnce) {
  const struct {
    Reason reason;
    TrayHost host;
    std::optional<TrayEvent> event;
  } cases[] = {
      // An XEmbed double-click arrives as Trigger then DoubleClick: only
      // the second may toggle the window.
      {QSystemTrayIcon::Trigger, TrayHost::XEmbed, TrayEvent::LeftPress},
      {QSystemTrayIcon::DoubleClick, TrayHost::XEmbed, TrayEvent::LeftDoubleClick},
      {QSystemTrayIcon::Context, TrayHost::XEmbed, TrayEvent::RightPress},
      {QSystemTrayIcon::MiddleClick, TrayHost::XEmbed, TrayEvent::MiddlePress},
      {QSystemTrayIcon::Unknown, TrayHost::XEmbed, std::nullopt},
      // A StatusNotifier click is the only thing its host sends.
      {QSystemTrayIcon::Trigger, TrayHost::StatusNotifier, TrayEvent::Activate},
      {QSystemTrayIcon::Context, TrayHost::StatusNotifier, TrayEvent::RightPress},
      {QSystemTrayIcon::MiddleClick, TrayHost::StatusNotifier, TrayEvent::MiddlePress},
      {QSystemTrayIcon::Unknown, TrayHost::StatusNotifier, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrayEventOf(c.reason, c.host), c.event)
        << static_cast<int>(c.reason) << " under " << static_cast<int>(c.host);
  }
}

}  // namespace
}  // namespace snapwick::linux
