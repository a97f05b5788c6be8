#pragma once
// The main window and its controls, as the program uses them.

#include <optional>
#include <string>
#include <string_view>

#include "form/roles.h"
#include "platform/status.h"

namespace snapwick {

class WindowApi {
 public:
  virtual ~WindowApi() = default;

  virtual Status SetTitle(std::string_view text) = 0;
  // A minimised window counts as shown.
  virtual std::optional<bool> IsWindowShown() = 0;
  // Made visible, in normal state (not minimised or maximised), in front.
  virtual Status ShowWindow() = 0;
  virtual Status HideWindow() = 0;
  // Closes the window from the program's own code; the close request that
  // follows has the origin Program.
  virtual Status CloseWindow() = 0;
  // Pops up the tray menu at the pointer and returns when it has closed.
  virtual Status PopUpTrayMenu() = 0;
  // An information message with a single OK button; returns when closed.
  virtual Status ShowMessage(std::string_view text, std::string_view title) = 0;

  // Texts are UTF-8. Setting the quality combo's text raises
  // OnQualityEdited when the text changes.
  virtual Status SetText(ControlId control, std::string_view text) = 0;
  virtual std::optional<std::string> GetText(ControlId control) = 0;
  // Puts one item into the quality list at `position` (0 is the top).
  virtual Status AddQualityItem(int position, std::string_view text) = 0;
  // The sound check box.
  virtual std::optional<bool> IsSoundChecked() = 0;
  virtual Status SetSoundChecked(bool checked) = 0;
};

}  // namespace snapwick
