#pragma once
// The program's one icon in the notification area. Its events reach
// WindowEvents::OnTrayEvent.

#include <string_view>

#include "platform/status.h"

namespace snapwick {

class TrayApi {
 public:
  virtual ~TrayApi() = default;

  // Shows the icon (the window's own) with its tip; adding it again while
  // it is shown changes nothing.
  virtual Status AddTrayIcon(std::string_view tip) = 0;
  // Removes the icon if it is there.
  virtual Status RemoveTrayIcon() = 0;
};

}  // namespace snapwick
