#pragma once
// The main window, built from the layout table in one loop: every control
// at its rectangle at the screen's dots per inch (see window_scale.h), with
// its font, colours and tab order. It raises the controls' events; what a
// close means is the platform's affair.

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "form/layout.h"
#include "platform/events.h"
#include "platform/status.h"

class QCheckBox;
class QComboBox;

namespace snapwick::linux {

// A layout font's size in pixels at `dpi`, as Windows sizes it.
int FontPixels(double points, int dpi);
// What the controls without a font of their own are drawn with.
inline constexpr layout::Font kDefaultFont{"MS Sans Serif", 8.25};
// The controls that take the focus, in tab order.
std::vector<ControlId> TabOrder();

class MainWindow final : public QWidget {
 public:
  // `onClose` gets every close request of the window, all of them the
  // user's (the close box, or another program's request through the
  // window manager or the compositor).
  MainWindow(WindowEvents& events, std::function<void(CloseOrigin)> onClose);

  QWidget* Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }

  // Setting the quality combo's text raises OnQualityEdited when the text
  // changes, as a typed change does.
  Status SetControlText(ControlId id, std::string_view text);
  std::optional<std::string> ControlText(ControlId id) const;
  Status InsertQualityItem(int position, std::string_view text);
  QCheckBox* SoundCheck() const;
  // Shows the window centred on the primary screen, frame included.
  void ShowCentred();
  // Shows the hidden window where it was, in front, but leaves the
  // keyboard focus with the program the user is typing into.
  void ShowUnfocused();

  // Lays the window and every control out at `dpi`, with fonts of that
  // size; the window takes that size and keeps it. It follows its screen's
  // DPI by itself.
  void ApplyScale(int dpi);
  int Dpi() const { return dpi_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QWidget* MakeControl(const layout::Control& c);
  QComboBox* Combo() const;
  void OnComboPicked(int index);
  void Centre();
  void FollowScreen();

  WindowEvents& events_;
  std::function<void(CloseOrigin)> onClose_;
  std::array<QWidget*, kControlCount> controls_{};
  int dpi_ = 0;
  QMetaObject::Connection screenDpi_;
  // The window manager's frame is known only once the window is on the
  // screen: the first exposure centres the window again with it.
  bool centreWhenExposed_ = false;
};

}  // namespace snapwick::linux
