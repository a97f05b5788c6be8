// The platform's life and its window, tray and close path.

#include "platform/x11/x11_platform.h"

#include <sched.h>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

#include "form/texts.h"
#include "platform/x11/app_icon.h"
#include "platform/x11/x11_texts.h"

namespace snapwick::x11 {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Per user (the runtime folder is the user's own) and per display.
std::string LockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder =
      runtime && *runtime
          ? std::string(runtime)
          : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
  const char* display = std::getenv("DISPLAY");
  return LockFilePath(folder, display ? display : "");
}

QIcon AppIcon() { return LoadAppIcon(QStringLiteral(":/snapwick/snapwick.ico")); }

// The cores this process may run on, not those the machine has.
int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  return ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

}  // namespace

X11Platform::X11Platform(std::unique_ptr<XDisplay> display, KeyWake wake)
    : display_(std::move(display)),
      keys_(*display_),
      screen_(*display_),
      instance_(LockPath()),
      driver_(wake == KeyWake::OnPress && keys_.WatchKeys([this](Keycode code, bool down) {
        if (down) {
          Apply(driver_.OnPress(code));
        } else {
          driver_.OnRelease(code);
        }
      })) {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(AppIcon());
  if (UsableCores() >= 2) strips_ = std::make_unique<StripEncoder>();

  if (signals_.Installed()) {
    signalNotifier_ = std::make_unique<QSocketNotifier>(signals_.ReadFd(), QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, &context_,
                     [this] { OnTerminationSignal(); });
  }
  displayNotifier_ =
      std::make_unique<QSocketNotifier>(display_->ConnectionFd(), QSocketNotifier::Read);
  QObject::connect(displayNotifier_.get(), &QSocketNotifier::activated, &context_,
                   [this] { keys_.ProcessEvents(); });
  sessionEnd_ = std::make_unique<SessionEnd>([this] { return RequestClose(CloseOrigin::Session); });
}

X11Platform::~X11Platform() {
  // The widgets go before the objects their handlers use.
  keyCapture_.reset();
  window_.reset();
}

bool X11Platform::Create(WindowEvents& events) {
  events_ = &events;
  window_ = std::make_unique<MainWindow>(events, [this](CloseOrigin o) { RequestClose(o); });
  window_->setWindowIcon(AppIcon());
  TrayIcon::Handlers tray;
  tray.onEvent = [this](TrayEvent e) {
    if (!closed_ && events_) events_->OnTrayEvent(e);
  };
  tray.onMenuItem = [this](MenuItemId item) {
    if (!closed_ && events_) events_->OnMenuItem(item);
  };
  // A window hidden in a tray that went away would be out of reach.
  tray.onTrayLost = [this] {
    if (!closed_ && window_) window_->ShowUnfocused();
  };
  tray_ = std::make_unique<TrayIcon>(AppIcon(), std::move(tray));
  trayMenu_ = std::make_unique<TrayMenu>();
  keyCapture_ = std::make_unique<KeyCapture>(keys_, [this](int virtualKey, std::string_view name) {
    if (!closed_ && events_) events_->OnKeyReleased(virtualKey, name);
  });
  tick_.setInterval(layout::kTimerIntervalMs);
  // A held key gives one shot a tick: a coarse timer's slack would cost
  // shots.
  tick_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick_, &QTimer::timeout, &context_, [this] { Tick(); });
  Apply(driver_.Start());

  events_->OnStart();
  return !closed_;
}

void X11Platform::ShowFirst() {
  if (closed_ || !window_) return;
  window_->ShowCentred();
  if (display_->IsXWayland()) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(kWaylandMessage.size()),
                 kWaylandMessage.data());
    // After the window, so that the message stands in front of it.
    QMetaObject::invokeMethod(
        &context_, [this] { ShowMessage(kWaylandMessage, kAppName); }, Qt::QueuedConnection);
  }
}

void X11Platform::Tick() {
  if (closed_ || !events_ || !driver_.Running()) return;
  events_->OnTick();
  if (closed_) return;
  // The plain poll runs on whatever is down: no need to ask.
  Apply(driver_.OnTickEnd(driver_.WakesOnKeys() ? keys_.DownNow() : KeySet{}));
  // The tick's requests may have read events off the connection, where
  // the socket's notifier no longer sees them: a press during the shot
  // starts the next tick now.
  keys_.ProcessEvents();
}

void X11Platform::Apply(TimerChange change) {
  switch (change) {
    case TimerChange::None:
      break;
    case TimerChange::Start:
      tick_.start();
      break;
    case TimerChange::StartNow:
      tick_.start();
      // Queued, because a press may be read in the middle of other work
      // (the settings panel's key capture reads the connection too).
      if (!tickQueued_) {
        tickQueued_ = true;
        QMetaObject::invokeMethod(
            &context_,
            [this] {
              tickQueued_ = false;
              Tick();
            },
            Qt::QueuedConnection);
      }
      break;
    case TimerChange::Stop:
      tick_.stop();
      break;
  }
}

bool X11Platform::RequestClose(CloseOrigin origin) {
  if (closed_) return false;
  if (events_ && events_->OnCloseRequest(origin)) return true;
  closed_ = true;
  Apply(driver_.Stop());
  tick_.stop();
  if (window_) window_->hide();
  // Ends every event loop, also a menu's or a message box's that is open.
  QCoreApplication::exit(0);
  return false;
}

void X11Platform::OnTerminationSignal() {
  bool any = false;
  while (signals_.Take()) any = true;
  if (any) RequestClose(CloseOrigin::OtherProgram);
}

// --- WindowApi ---

Status X11Platform::SetTitle(std::string_view text) {
  if (!window_) return Status::Failed;
  window_->setWindowTitle(FromUtf8(text));
  return Status::Ok;
}

std::optional<bool> X11Platform::IsWindowShown() {
  if (!window_) return std::nullopt;
  // Qt keeps a minimised window visible, as Windows does.
  return window_->isVisible();
}

Status X11Platform::ShowWindow() {
  if (!window_ || closed_) return Status::Failed;
  window_->setWindowState(window_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  window_->show();
  window_->raise();
  window_->activateWindow();
  return Status::Ok;
}

Status X11Platform::HideWindow() {
  if (!window_) return Status::Failed;
  if (tray_ && tray_->Reachable()) {
    window_->hide();
  } else {
    // With no tray to bring it back from, a hidden window would leave a
    // program that no one can reach: it goes to the task bar instead.
    window_->showMinimized();
  }
  return Status::Ok;
}

Status X11Platform::CloseWindow() {
  if (!window_ || closed_) return Status::Failed;
  RequestClose(CloseOrigin::Program);
  return Status::Ok;
}

Status X11Platform::PopUpTrayMenu() {
  if (!trayMenu_ || closed_) return Status::Failed;
  const auto chosen = trayMenu_->PopUp();
  // Handled after the menu has closed, as Windows posts the menu's command.
  if (chosen) {
    QMetaObject::invokeMethod(
        &context_,
        [this, item = *chosen] {
          if (!closed_ && events_) events_->OnMenuItem(item);
        },
        Qt::QueuedConnection);
  }
  return Status::Ok;
}

Status X11Platform::ShowMessage(std::string_view text, std::string_view title) {
  QWidget* owner = window_ && window_->isVisible() ? window_.get() : nullptr;
  QMessageBox box(QMessageBox::Information, FromUtf8(title), FromUtf8(text), QMessageBox::Ok,
                  owner);
  box.exec();
  return Status::Ok;
}

Status X11Platform::SetText(ControlId control, std::string_view text) {
  if (!window_) return Status::Failed;
  return window_->SetControlText(control, text);
}

std::optional<std::string> X11Platform::GetText(ControlId control) {
  if (!window_) return std::nullopt;
  return window_->ControlText(control);
}

Status X11Platform::AddQualityItem(int position, std::string_view text) {
  if (!window_) return Status::Failed;
  return window_->InsertQualityItem(position, text);
}

std::optional<bool> X11Platform::IsSoundChecked() {
  if (!window_) return std::nullopt;
  return window_->SoundCheck()->isChecked();
}

Status X11Platform::SetSoundChecked(bool checked) {
  if (!window_) return Status::Failed;
  window_->SoundCheck()->setChecked(checked);
  return Status::Ok;
}

// --- TrayApi ---

Status X11Platform::AddTrayIcon(std::string_view tip) {
  if (!tray_) return Status::Failed;
  return tray_->Show(tip);
}

Status X11Platform::RemoveTrayIcon() {
  if (!tray_) return Status::Failed;
  return tray_->Remove();
}

}  // namespace snapwick::x11
