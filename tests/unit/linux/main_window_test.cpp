#include "platform/linux/main_window.h"

#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <string>
#include <vector>

#include "form/texts.h"

namespace snapwick::linux {
namespace {

// Records what the window raises.
struct Recorder final : WindowEvents {
  void OnStart() override {}
  bool OnCloseRequest(CloseOrigin) override { return true; }
  void OnHotkeyDown() override {}
  void OnHotkeyUp() override {}
  void OnTick() override {}
  void OnTrayEvent(TrayEvent) override {}
  void OnTrayRecreated() override {}
  void OnClick(ControlId control) override { clicks.push_back(control); }
  void OnMenuItem(MenuItemId) override {}
  void OnQualityPicked() override { ++picked; }
  void OnQualityEdited() override { ++edited; }
  void OnKeyReleased(int, std::string_view) override {}

  std::vector<ControlId> clicks;
  int picked = 0;
  int edited = 0;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : window_(events_, [this](CloseOrigin o) { closes_.push_back(o); }) {}

  QComboBox* Combo() { return static_cast<QComboBox*>(window_.Control(ControlId::QualityCombo)); }
  void FillQualityList() {
    for (std::size_t i = 0; i < kQualityList.size(); ++i) {
      ASSERT_EQ(window_.InsertQualityItem(static_cast<int>(i), kQualityList[i]), Status::Ok);
    }
  }
  std::optional<ControlId> RoleOf(const QWidget* w) {
    for (const layout::Control& c : layout::Controls()) {
      const QWidget* control = window_.Control(c.id);
      if (w && (w == control || control->isAncestorOf(w))) return c.id;
    }
    return std::nullopt;
  }

  Recorder events_;
  std::vector<CloseOrigin> closes_;
  MainWindow window_;
};

TEST_F(MainWindowTest, Built_EveryControlAtItsLayoutRectangleAt96Dpi) {
  EXPECT_EQ(window_.size(), QSize(463, 210));
  for (const layout::Control& c : layout::Controls()) {
    const layout::PixelRect px = layout::PixelsInWindow(c, 96);
    QWidget* w = window_.Control(c.id);
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_EQ(w->parentWidget(), &window_) << c.name;
    EXPECT_EQ(w->geometry(), QRect(px.x, px.y, px.width, px.height)) << c.name;
  }
}

TEST_F(MainWindowTest, Built_FontsColoursAlignmentAndCursorFromTheTable) {
  const struct {
    ControlId id;
    int pixels;
    bool bold, underline;
    QColor text;
    Qt::Alignment horizontal;
  } cases[] = {
      {ControlId::HotkeyBox, 12, true, false, QColor(192, 0, 0), Qt::AlignLeft},
      {ControlId::QualityCombo, 12, false, false, QColor(), Qt::AlignLeft},
      {ControlId::SoundLabel, 12, false, false, QColor(), Qt::AlignRight},
      {ControlId::ShotFolderLabel, 11, false, false, QColor(64, 64, 64), Qt::AlignLeft},
      {ControlId::PublisherLink, 11, false, true, QColor(0, 0, 255), Qt::AlignLeft},
      {ControlId::DeveloperLabel, 11, false, false, QColor(), Qt::AlignRight},
      {ControlId::ExitButton, 11, false, false, QColor(), Qt::AlignLeft},
  };
  for (const auto& c : cases) {
    const QWidget* w = window_.Control(c.id);
    const std::string name(layout::ControlById(c.id).name);
    EXPECT_EQ(w->font().pixelSize(), c.pixels) << name;
    EXPECT_EQ(w->font().bold(), c.bold) << name;
    EXPECT_EQ(w->font().underline(), c.underline) << name;
    if (c.text.isValid()) {
      const QPalette::ColorRole role =
          qobject_cast<const QLabel*>(w) ? QPalette::WindowText : QPalette::Text;
      EXPECT_EQ(w->palette().color(role), c.text) << name;
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
      EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, c.horizontal) << name;
    }
  }
  EXPECT_EQ(window_.Control(ControlId::PublisherLink)->cursor().shape(), Qt::PointingHandCursor);
  const QWidget* folderFrame = window_.Control(ControlId::FolderFrame);
  EXPECT_TRUE(folderFrame->autoFillBackground());
  EXPECT_EQ(folderFrame->palette().color(QPalette::Window), QColor(224, 224, 224));
  EXPECT_TRUE(static_cast<QLineEdit*>(window_.Control(ControlId::HotkeyBox))->isReadOnly());
  EXPECT_TRUE(Combo()->isEditable());
}

TEST_F(MainWindowTest, TabFromTheExitButton_CyclesThroughTheFiveInTableOrder) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  EXPECT_EQ(RoleOf(QApplication::focusWidget()), ControlId::ExitButton);
  const ControlId expected[] = {ControlId::QualityCombo, ControlId::ApplyButton,
                                ControlId::HotkeyBox, ControlId::SoundCheck, ControlId::ExitButton};
  for (const ControlId next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(RoleOf(QApplication::focusWidget()), next) << layout::ControlById(next).name;
  }
}

TEST_F(MainWindowTest, ComboTextSetByTheProgram_ChangeRaisedOnlyWhenTheTextChanges) {
  FillQualityList();
  const struct {
    std::string text;
    int edits;
    int currentItem;
  } steps[] = {
      {"80", 1, 2},  {"80", 0, 2}, {"75", 1, 2},  // not in the list: the current item stays
      {"100", 1, 0}, {"", 1, 0},
  };
  for (const auto& s : steps) {
    events_.edited = 0;
    EXPECT_EQ(window_.SetControlText(ControlId::QualityCombo, s.text), Status::Ok);
    EXPECT_EQ(events_.edited, s.edits) << s.text;
    EXPECT_EQ(window_.ControlText(ControlId::QualityCombo), s.text);
    EXPECT_EQ(Combo()->currentIndex(), s.currentItem) << s.text;
  }
}

TEST_F(MainWindowTest, QualityItemsAdded_TextStaysAndPositionsOutsideTheListFail) {
  window_.SetControlText(ControlId::QualityCombo, "75");
  events_.edited = 0;
  FillQualityList();
  EXPECT_EQ(window_.ControlText(ControlId::QualityCombo), "75");
  EXPECT_EQ(Combo()->count(), 10);
  EXPECT_EQ(Combo()->itemText(0), "100");
  EXPECT_EQ(Combo()->itemText(9), "10");
  EXPECT_EQ(window_.InsertQualityItem(11, "5"), Status::Failed);
  EXPECT_EQ(window_.InsertQualityItem(-1, "5"), Status::Failed);
  EXPECT_EQ(window_.InsertQualityItem(10, "5"), Status::Ok);
  EXPECT_EQ(Combo()->itemText(10), "5");
  EXPECT_EQ(events_.edited, 0);
}

TEST_F(MainWindowTest, QualityPickedOrTyped_PickRaisedForAPickChangeForTyping) {
  FillQualityList();
  window_.SetControlText(ControlId::QualityCombo, "80");
  events_.edited = 0;

  // The arrow key picks the next item, as a click in the open list does.
  QTest::keyClick(Combo(), Qt::Key_Down);
  EXPECT_EQ(events_.picked, 1);
  EXPECT_EQ(events_.edited, 0);
  EXPECT_EQ(window_.ControlText(ControlId::QualityCombo), "70");

  emit Combo()->activated(0);
  EXPECT_EQ(events_.picked, 2);
  EXPECT_EQ(events_.edited, 0);
  EXPECT_EQ(window_.ControlText(ControlId::QualityCombo), "100");

  QTest::keyClicks(Combo()->lineEdit(), "5");
  EXPECT_EQ(events_.edited, 1);
  EXPECT_EQ(events_.picked, 2);
}

TEST_F(MainWindowTest, ShotFolderPath_ShortenedInTheMiddleOnlyWhenTooLong) {
  auto* label = static_cast<QLabel*>(window_.Control(ControlId::ShotFolderLabel));
  const std::string shortPath = "/home/user/snapwick/pic";
  const std::string longPath = "/home/user/" + std::string(200, 'x') + "/snapwick/pic";
  window_.SetControlText(ControlId::ShotFolderLabel, shortPath);
  EXPECT_EQ(label->text().toStdString(), shortPath);
  window_.SetControlText(ControlId::ShotFolderLabel, longPath);
  const QString shown = label->text();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(shown.startsWith("/home/user/")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("/snapwick/pic")) << shown.toStdString();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
  EXPECT_EQ(window_.ControlText(ControlId::ShotFolderLabel), longPath);
}

TEST_F(MainWindowTest, ClicksOnLinkAndButtons_OnClickWithTheirRoles) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  QWidget* link = window_.Control(ControlId::PublisherLink);
  QTest::mouseClick(link, Qt::LeftButton);
  // Pressed on the link, released beside it: no click.
  QTest::mousePress(link, Qt::LeftButton);
  QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(link->width() + 5, 2));
  QTest::mouseClick(link, Qt::RightButton);
  QTest::mouseClick(window_.Control(ControlId::ApplyButton), Qt::LeftButton);
  // Enter presses the focused button.
  window_.Control(ControlId::ExitButton)->setFocus();
  QTest::keyClick(window_.Control(ControlId::ExitButton), Qt::Key_Return);
  const std::vector<ControlId> expected{ControlId::PublisherLink, ControlId::ApplyButton,
                                        ControlId::ExitButton};
  EXPECT_EQ(events_.clicks, expected);
}

TEST_F(MainWindowTest, CloseRequests_ReportedByOriginAndTheWindowStays) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  // The window manager's close box, or another program's request through
  // it, arrives from the window system.
  QCloseEvent fromWindowManager;
  QSpontaneKeyEvent::setSpontaneous(&fromWindowManager);
  // sendEvent() would clear the spontaneous mark.
  QApplication::instance()->notify(&window_, &fromWindowManager);
  EXPECT_FALSE(fromWindowManager.isAccepted());
  // Qt 6.4's Wayland plugin hands the compositor's close request (the
  // close box, sway's kill) on as a close of the window's handle, which
  // reaches the widget like a close from code: the user's all the same.
  EXPECT_FALSE(window_.windowHandle()->close());
  EXPECT_FALSE(window_.close());
  EXPECT_TRUE(window_.isVisible());
  const std::vector<CloseOrigin> expected(3, CloseOrigin::User);
  EXPECT_EQ(closes_, expected);
}

TEST_F(MainWindowTest, TextsOfEveryKind_ReadBackAsSet) {
  const ControlId ids[] = {ControlId::ApplyButton, ControlId::SettingsFrame,
                           ControlId::HotkeyBox,   ControlId::SoundLabel,
                           ControlId::SoundCheck,  ControlId::PublisherLink};
  for (const ControlId id : ids) {
    EXPECT_EQ(window_.SetControlText(id, "Ф5 <b>&x</b>"), Status::Ok);
    EXPECT_EQ(window_.ControlText(id), "Ф5 <b>&x</b>") << layout::ControlById(id).name;
  }
  EXPECT_EQ(window_.ControlText(ControlId::ExitButton), "Выход");
}

}  // namespace
}  // namespace snapwick::linux
