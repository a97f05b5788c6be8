#pragma once
// What the logic needs of the main window and its controls.

#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace snapwick {

class WindowApi {
 public:
  virtual ~WindowApi() = default;

  virtual Handle FrmHandle() = 0;
  virtual std::optional<Handle> FrmIcon() = 0;
  virtual Status SetFrmCaption(std::string_view text) = 0;
  virtual std::optional<bool> FrmVisible() = 0;
  virtual Status SetFrmVisible(bool visible) = 0;
  // Undoes a minimised or maximised state.
  virtual Status RestoreFrm() = 0;
  // Shows the tray menu at the pointer and returns when it has closed.
  virtual Status PopupTrayMenu() = 0;
  // Closes the window from the program's own code; the close request that
  // follows is not the user's and so is not cancelled.
  virtual Status CloseFrm() = 0;

  // Texts are UTF-8.
  virtual Status SetText(ControlId id, std::string_view text) = 0;
  virtual std::optional<std::string> GetText(ControlId id) = 0;
  virtual Status ComboAddItem(int position, std::string_view text) = 0;
  virtual std::optional<int> CheckValue() = 0;
  virtual Status SetCheckValue(int value) = 0;

  // The hidden capture canvas. Its bitmap is kept between shots and is
  // handed out as a plain bitmap handle.
  virtual Status ClearCanvas() = 0;
  virtual Status SetCanvasPersistent(bool on) = 0;
  virtual Status ResizeCanvas(int widthPx, int heightPx) = 0;
  virtual std::optional<Handle> CanvasDC() = 0;
  virtual std::optional<Handle> CanvasImage() = 0;
};

}  // namespace snapwick
