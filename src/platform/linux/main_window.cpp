#include "platform/linux/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/linux/group_box_frame.h"
#include "platform/linux/labels.h"
#include "platform/linux/window_scale.h"

namespace snapwick::linux {
namespace {

// The combo's list shows this many items before it scrolls.
constexpr int kComboVisibleItems = 10;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont FontOf(const layout::Font& f, int dpi) {
  QFont font{QString::fromUtf8(f.face.data(), static_cast<qsizetype>(f.face.size()))};
  // Pixels, not points: the font grows with the window's own DPI, exactly
  // as the rectangles do.
  font.setPixelSize(FontPixels(f.points, dpi));
  font.setBold(f.bold);
  font.setUnderline(f.underline);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

// The Windows faces where they are missing: Liberation Sans has Arial's
// metrics, and is near enough to MS Sans Serif's widths for the texts to
// fit their rectangles as they do on Windows.
void SubstituteWindowsFaces() {
  const QStringList sans{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                         QStringLiteral("DejaVu Sans")};
  QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
}

QColor ColorOf(layout::Rgb c) { return QColor(c.r, c.g, c.b); }

void Paint(QWidget* w, const layout::Control& c) {
  QPalette palette = w->palette();
  if (c.textColor) {
    const QColor text = ColorOf(*c.textColor);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
  }
  if (c.background) {
    palette.setColor(QPalette::Window, ColorOf(*c.background));
    w->setAutoFillBackground(true);
  }
  w->setPalette(palette);
}

Qt::Alignment AlignmentOf(const layout::Control& c) {
  // Static text starts at the top of its rectangle, as on Windows.
  return (c.align == layout::Align::Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop;
}

}  // namespace

int FontPixels(double points, int dpi) {
  return static_cast<int>(std::lround(points * dpi / 72.0));
}

std::vector<ControlId> TabOrder() {
  std::vector<const layout::Control*> stops;
  for (const layout::Control& c : layout::Controls()) {
    if (layout::TakesFocus(c)) stops.push_back(&c);
  }
  std::sort(stops.begin(), stops.end(),
            [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
  std::vector<ControlId> order;
  for (const auto* c : stops) order.push_back(c->id);
  return order;
}

MainWindow::MainWindow(WindowEvents& events, std::function<void(CloseOrigin)> onClose)
    : QWidget(nullptr,
              // No maximise box: the layout does not follow the window's size.
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint),
      events_(events),
      onClose_(std::move(onClose)) {
  SubstituteWindowsFaces();
  for (const layout::Control& c : layout::Controls()) {
    QWidget* w = MakeControl(c);
    Paint(w, c);
    w->setFocusPolicy(layout::TakesFocus(c) ? Qt::StrongFocus : Qt::NoFocus);
    if (c.handCursor) w->setCursor(Qt::PointingHandCursor);
    controls_[static_cast<std::size_t>(c.id)] = w;
  }
  // The frames stay under the controls that stand on them.
  for (const layout::Control& c : layout::Controls()) {
    if (c.kind == layout::Kind::Frame) Control(c.id)->lower();
  }
  const std::vector<ControlId> order = TabOrder();
  for (std::size_t i = 1; i < order.size(); ++i) {
    QWidget::setTabOrder(Control(order[i - 1]), Control(order[i]));
  }
  if (!order.empty()) Control(order.front())->setFocus();
  FollowScreen();
}

void MainWindow::ApplyScale(int dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  // Minimum and maximum alike: the layout does not follow the window's
  // size, so the window manager offers neither resizing nor maximising,
  // as Windows offers neither for this dialog.
  setFixedSize(layout::TwipsToPixels(layout::kClientWidthTwips, dpi),
               layout::TwipsToPixels(layout::kClientHeightTwips, dpi));
  setFont(FontOf(kDefaultFont, dpi));
  for (const layout::Control& c : layout::Controls()) {
    QWidget* w = Control(c.id);
    const layout::PixelRect px = layout::PixelsInWindow(c, dpi);
    w->setGeometry(px.x, px.y, px.width, px.height);
    w->setFont(FontOf(c.font.value_or(kDefaultFont), dpi));
  }
}

void MainWindow::FollowScreen() {
  QObject::disconnect(screenDpi_);
  QScreen* current = screen();
  if (current) {
    // A desktop's settings daemon may change Xft.dpi while the program runs.
    screenDpi_ = connect(current, &QScreen::logicalDotsPerInchChanged, this,
                         [this, current] { ApplyScale(LayoutDpiOf(current)); });
  }
  ApplyScale(LayoutDpiOf(current));
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::ScreenChangeInternal) FollowScreen();
  return QWidget::event(event);
}

QWidget* MainWindow::MakeControl(const layout::Control& c) {
  const QString text = FromUtf8(c.text);
  switch (c.kind) {
    case layout::Kind::Button: {
      auto* button = new QPushButton(text, this);
      // Enter presses the focused button, as in a dialog.
      button->setAutoDefault(true);
      const ControlId id = c.id;
      connect(button, &QPushButton::clicked, this, [this, id] { events_.OnClick(id); });
      return button;
    }
    case layout::Kind::Frame:
      return new GroupBoxFrame(text, this);
    case layout::Kind::Label: {
      QLabel* label = nullptr;
      if (c.handCursor) {
        const ControlId id = c.id;
        label = new ClickableLabel(this, [this, id] { events_.OnClick(id); });
        label->setText(text);
      } else if (c.pathEllipsis) {
        auto* elided = new ElidedLabel(this);
        elided->SetFullText(text);
        label = elided;
      } else {
        label = new QLabel(text, this);
      }
      // A folder's name may hold anything, also what looks like markup.
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(AlignmentOf(c));
      return label;
    }
    case layout::Kind::CheckBox:
      return new QCheckBox(text, this);
    case layout::Kind::Edit: {
      // Only the key capture writes the hotkey box; typing into it would
      // mix characters into the key's name. It holds nothing to copy or
      // select either: Qt's own menu (English, over a Russian window) would
      // only hide the key pressed to open it.
      auto* edit = new QLineEdit(text, this);
      edit->setReadOnly(true);
      edit->setContextMenuPolicy(Qt::PreventContextMenu);
      return edit;
    }
    case layout::Kind::Combo: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      // Windows' drop-down combo neither completes typed text nor adds it
      // to the list.
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setCompleter(nullptr);
      combo->setMaxVisibleItems(kComboVisibleItems);
      combo->setEditText(text);
      // Typed text never stays in the quality box, so cut, copy and paste
      // have nothing to work on; Qt's menu for them would be English over
      // a Russian window.
      combo->lineEdit()->setContextMenuPolicy(Qt::PreventContextMenu);
      // Only typing raises the change here; a change made by the program
      // is raised by SetControlText, and a pick by OnComboPicked.
      connect(combo->lineEdit(), &QLineEdit::textEdited, this,
              [this](const QString&) { events_.OnQualityEdited(); });
      connect(combo, &QComboBox::activated, this, [this](int index) { OnComboPicked(index); });
      return combo;
    }
  }
  return new QWidget(this);
}

QComboBox* MainWindow::Combo() const {
  return static_cast<QComboBox*>(Control(ControlId::QualityCombo));
}

QCheckBox* MainWindow::SoundCheck() const {
  return static_cast<QCheckBox*>(Control(ControlId::SoundCheck));
}

void MainWindow::OnComboPicked(int index) {
  // The handler reads the picked item from the edit field.
  if (index >= 0) Combo()->setEditText(Combo()->itemText(index));
  events_.OnQualityPicked();
}

Status MainWindow::SetControlText(ControlId id, std::string_view utf8) {
  QWidget* w = Control(id);
  if (!w) return Status::Failed;
  const QString text = FromUtf8(utf8);
  switch (layout::ControlById(id).kind) {
    case layout::Kind::Button:
    case layout::Kind::CheckBox:
      static_cast<QAbstractButton*>(w)->setText(text);
      break;
    case layout::Kind::Frame:
      static_cast<GroupBoxFrame*>(w)->SetCaption(text);
      break;
    case layout::Kind::Label:
      if (auto* elided = dynamic_cast<ElidedLabel*>(w)) {
        elided->SetFullText(text);
      } else {
        static_cast<QLabel*>(w)->setText(text);
      }
      break;
    case layout::Kind::Edit: {
      auto* edit = static_cast<QLineEdit*>(w);
      edit->setText(text);
      // Qt leaves the cursor after the text and scrolls a long name until
      // its end shows; a Windows edit field shows a new text from its
      // start.
      edit->setCursorPosition(0);
      break;
    }
    case layout::Kind::Combo: {
      QComboBox* combo = Combo();
      const QString before = combo->currentText();
      combo->setEditText(text);
      // The list's current item follows the text, so that the arrow keys
      // move on from the quality shown; a text the list does not hold
      // leaves it where it was.
      const int item = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
      if (item >= 0) combo->setCurrentIndex(item);
      combo->setEditText(text);
      if (combo->currentText() != before) events_.OnQualityEdited();
      break;
    }
  }
  return Status::Ok;
}

std::optional<std::string> MainWindow::ControlText(ControlId id) const {
  QWidget* w = Control(id);
  if (!w) return std::nullopt;
  QString text;
  switch (layout::ControlById(id).kind) {
    case layout::Kind::Button:
    case layout::Kind::CheckBox:
      text = static_cast<QAbstractButton*>(w)->text();
      break;
    case layout::Kind::Frame:
      text = static_cast<GroupBoxFrame*>(w)->Caption();
      break;
    case layout::Kind::Label:
      if (auto* elided = dynamic_cast<ElidedLabel*>(w)) {
        text = elided->FullText();
      } else {
        text = static_cast<QLabel*>(w)->text();
      }
      break;
    case layout::Kind::Edit:
      text = static_cast<QLineEdit*>(w)->text();
      break;
    case layout::Kind::Combo:
      text = Combo()->currentText();
      break;
  }
  return text.toStdString();
}

Status MainWindow::InsertQualityItem(int position, std::string_view text) {
  QComboBox* combo = Combo();
  if (position < 0 || position > combo->count()) return Status::Failed;
  // Qt makes the first item of an empty list current and shows it; a new
  // item changes neither the text nor the current item of the list.
  const QString shown = combo->currentText();
  const int current = combo->currentIndex();
  combo->insertItem(position, FromUtf8(text));
  combo->setCurrentIndex(current < 0 ? -1 : combo->currentIndex());
  combo->setEditText(shown);
  return Status::Ok;
}

void MainWindow::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - outer.width()) / 2,
       area.y() + (area.height() - outer.height()) / 2);
}

void MainWindow::ShowUnfocused() {
  if (isVisible()) return;
  // Qt reads the attribute only when it makes the native window, which
  // this one has had since start-up; its X window reads this property of
  // the QWindow at every show (a user time of 0, so the window manager
  // leaves the focus where it is).
  QWindow* handle = windowHandle();
  if (handle) handle->setProperty("_q_showWithoutActivating", true);
  show();
  raise();
  if (handle) handle->setProperty("_q_showWithoutActivating", false);
}

void MainWindow::ShowCentred() {
  Centre();
  centreWhenExposed_ = true;
  show();
  if (QWindow* handle = windowHandle()) handle->installEventFilter(this);
  raise();
  activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (centreWhenExposed_ && event->type() == QEvent::Expose && watched == windowHandle()) {
    centreWhenExposed_ = false;
    watched->removeEventFilter(this);
    Centre();
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window never closes by itself: the program decides, and ends the
  // event loop when it lets the close go on.
  event->ignore();
  // The program never closes its window through Qt (its own ends go
  // straight to the platform), so every close that comes here is the
  // window system's: the close box, or another program's request through
  // the window manager or the compositor. On X11 it arrives as the window
  // system's event; Qt 6.4 on Wayland hands the compositor's close (the
  // close box, sway's kill) on as a close of the window from code.
  onClose_(CloseOrigin::User);
}

}  // namespace snapwick::linux
