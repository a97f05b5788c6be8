// The window at the display's scale, its fixed size, and the hotkey box.

#include "platform/linux/window_scale.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <cmath>
#include <limits>
#include <string>

#include "platform/linux/main_window.h"
#include "quiet_events.h"

namespace snapwick::linux {
namespace {

struct NoEvents final : snapwick::testing::QuietEvents {
  bool OnCloseRequest(CloseOrigin) override { return true; }
};

constexpr int kScales[] = {96, 120, 144, 192};

TEST(LayoutDpi, ScreenDpis_RoundedAndNeverBelowTheWindowsBuildsOwnSize) {
  const struct {
    double logical;
    int dpi;
  } cases[] = {
      {96, 96},
      {120, 120},
      {144, 144},
      {192, 192},
      {143.6, 144},
      {167.4, 167},
      // A DPI the desktop does not set, or sets below 100 %, leaves the
      // window as the Windows build draws it at 96.
      {0, 96},
      {-144, 96},
      {72, 96},
      {95.4, 96},
      {std::numeric_limits<double>::quiet_NaN(), 96},
      // Beyond Windows' 500 %: a broken setting, not a screen.
      {960, 480},
      {std::numeric_limits<double>::infinity(), 480},
  };
  for (const auto& c : cases) EXPECT_EQ(LayoutDpi(c.logical), c.dpi) << c.logical;
  EXPECT_EQ(LayoutDpiOf(nullptr), 96);
  // The test platform's screen says 96.
  EXPECT_EQ(LayoutDpiOf(QGuiApplication::primaryScreen()), 96);
}

class ScaledWindowTest : public ::testing::Test {
 protected:
  ScaledWindowTest() : window_(events_, [](CloseOrigin) {}) {}

  QLineEdit* HotkeyBox() { return static_cast<QLineEdit*>(window_.Control(ControlId::HotkeyBox)); }
  // Where the box draws its cursor: scrolled with the text.
  int CursorLeft() { return HotkeyBox()->inputMethodQuery(Qt::ImCursorRectangle).toRect().left(); }

  NoEvents events_;
  MainWindow window_;
};

TEST_F(ScaledWindowTest, EachScale_WindowControlsAndFontsAsTheWindowsBuildAtThatDpi) {
  EXPECT_EQ(window_.Dpi(), 96);
  // Up and back down again: nothing of a larger scale stays behind.
  for (const int dpi : {120, 144, 192, 96, 144, 96}) {
    window_.ApplyScale(dpi);
    const QSize client(layout::TwipsToPixels(layout::kClientWidthTwips, dpi),
                       layout::TwipsToPixels(layout::kClientHeightTwips, dpi));
    EXPECT_EQ(window_.size(), client) << dpi;
    // Fixed: the window manager can neither resize nor maximise it.
    EXPECT_EQ(window_.minimumSize(), client) << dpi;
    EXPECT_EQ(window_.maximumSize(), client) << dpi;
    EXPECT_EQ(window_.font().pixelSize(), FontPixels(kDefaultFont.points, dpi)) << dpi;
    for (const layout::Control& c : layout::Controls()) {
      const layout::PixelRect px = layout::PixelsInWindow(c, dpi);
      const QWidget* w = window_.Control(c.id);
      EXPECT_EQ(w->geometry(), QRect(px.x, px.y, px.width, px.height)) << c.name << " at " << dpi;
      EXPECT_EQ(w->font().pixelSize(), FontPixels(c.font.value_or(kDefaultFont).points, dpi))
          << c.name << " at " << dpi;
    }
  }
  EXPECT_EQ(window_.size(), QSize(463, 210));
}

TEST_F(ScaledWindowTest, EachScale_EveryCaptionFitsItsControl) {
  for (const int dpi : kScales) {
    window_.ApplyScale(dpi);
    for (const layout::Control& c : layout::Controls()) {
      const QWidget* w = window_.Control(c.id);
      const QString text = QString::fromUtf8(c.text.data(), static_cast<qsizetype>(c.text.size()));
      if (c.pathEllipsis || text.isEmpty()) continue;
      const QFontMetrics metrics(w->font());
      QRect room = w->contentsRect();
      if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        room = button->rect().adjusted(4, 0, -4, 0);
      }
      EXPECT_LE(metrics.horizontalAdvance(text), room.width()) << c.name << " at " << dpi;
      EXPECT_LE(metrics.height(), room.height()) << c.name << " at " << dpi;
    }
  }
}

TEST_F(ScaledWindowTest, HotkeyBox_NoContextMenuByPointerOrKey) {
  window_.show();
  QLineEdit* box = HotkeyBox();
  for (const auto reason : {QContextMenuEvent::Mouse, QContextMenuEvent::Keyboard}) {
    QContextMenuEvent event(reason, box->rect().center(), box->mapToGlobal(box->rect().center()));
    QApplication::sendEvent(box, &event);
    QApplication::processEvents();
    QWidget* menu = QApplication::activePopupWidget();
    EXPECT_EQ(menu, nullptr) << "reason " << static_cast<int>(reason);
    if (menu) menu->close();
  }
}

TEST_F(ScaledWindowTest, LongKeyName_ShownFromItsStartAtEveryScale) {
  for (const int dpi : kScales) {
    window_.ApplyScale(dpi);
    window_.SetControlText(ControlId::HotkeyBox, "F8");
    const int start = CursorLeft();
    for (const char* name : {"Right Windows", "Application", "Scroll Lock"}) {
      window_.SetControlText(ControlId::HotkeyBox, name);
      EXPECT_EQ(HotkeyBox()->cursorPosition(), 0) << name << " at " << dpi;
      // Scrolled towards its end, the text's start would stand left of
      // where a short name starts.
      EXPECT_EQ(CursorLeft(), start) << name << " at " << dpi;
      EXPECT_EQ(window_.ControlText(ControlId::HotkeyBox), name);
    }
  }
}

}  // namespace
}  // namespace snapwick::linux
