// The platform's life and its window, tray, timer and close path.

#include "platform/linux/linux_platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

#include "form/layout.h"
#include "form/texts.h"
#include "platform/linux/app_icon.h"
#include "platform/linux/linux_texts.h"

namespace snapwick::linux {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Per user (the runtime folder is the user's own) and per display.
std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime
             ? std::string(runtime)
             : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
}

QIcon AppIcon() { return LoadAppIcon(QStringLiteral(":/snapwick/snapwick.ico")); }

}  // namespace

LinuxPlatform::LinuxPlatform(SessionParts parts, std::string_view lockKey)
    : parts_(std::move(parts)),
      instance_(LockFilePath(RuntimeFolder(), lockKey)),
      doorPath_(KeyDoorPath(RuntimeFolder(), lockKey)) {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(AppIcon());

  if (signals_.Installed()) {
    signalNotifier_ = std::make_unique<QSocketNotifier>(signals_.ReadFd(), QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, &context_,
                     [this] { OnTerminationSignal(); });
  }
  if (parts_.hotkey) {
    parts_.hotkey->SetKeyHandler([this](KeySeen seen) { OnKey(seen); });
    parts_.hotkey->SetBoundHandler([this](std::string_view keyName) {
      if (!closed_ && events_) events_->OnHotkeyBound(keyName);
    });
    FollowHotkeyFd();
  }
  if (parts_.screen) {
    parts_.screen->SetGrabbedHandler([this](std::optional<Frame> frame) {
      if (!closed_ && events_) events_->OnScreenGrabbed(frame);
    });
  }
  // A held key gives one shot a tick: a coarse timer's slack would cost
  // shots. Qt's precise timer keeps its due times: a late tick does not
  // make the next one late, and missed ticks are not made up for.
  tick_.setInterval(layout::kTimerIntervalMs);
  tick_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick_, &QTimer::timeout, &context_, [this] { Tick(); });
  sessionEnd_ = std::make_unique<SessionEnd>([this] { return RequestClose(CloseOrigin::Session); });
}

LinuxPlatform::~LinuxPlatform() {
  // The widgets go before the objects their handlers use.
  keyCapture_.reset();
  window_.reset();
}

bool LinuxPlatform::Create(WindowEvents& events) {
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
  keyCapture_ = std::make_unique<KeyCapture>(parts_.keymap.get(),
                                             [this](int virtualKey, std::string_view name) {
                                               if (!closed_ && events_)
                                                 events_->OnKeyReleased(virtualKey, name);
                                             });
  events_->OnStart();
  return !closed_;
}

void LinuxPlatform::ShowFirst() {
  if (closed_ || !window_) return;
  window_->ShowCentred();
  const std::string& notice = parts_.notice;
  if (notice.empty()) return;
  std::fprintf(stderr, "%s\n", notice.c_str());
  // After the window, so that the message stands in front of it.
  QMetaObject::invokeMethod(
      &context_, [this] { ShowMessage(parts_.notice, kAppName); }, Qt::QueuedConnection);
}

void LinuxPlatform::OpenKeyDoor() {
  if (door_ || !instance_.Held()) return;
  door_ = CompositorKeyDoor::Open(doorPath_, [this](CompositorKey key) {
    if (!closed_ && events_) events_->OnCompositorKey(key);
  });
}

void LinuxPlatform::OnKey(KeySeen seen) {
  if (closed_ || !events_) return;
  events_->OnHotkey(seen);
}

void LinuxPlatform::Tick() {
  if (closed_ || !events_) return;
  if (parts_.hotkey) parts_.hotkey->Sample();
  // What the look showed may have closed the program or stopped the ticks.
  if (!closed_ && tick_.isActive()) events_->OnTick();
  DispatchLater();
}

void LinuxPlatform::FollowHotkeyFd() {
  const int fd = parts_.hotkey ? parts_.hotkey->EventFd() : -1;
  if (hotkeyNotifier_ && hotkeyNotifier_->socket() == fd) return;
  if (hotkeyNotifier_) {
    // The source closed its descriptor (its server went away): the number
    // may soon be another file's, which must not wake the source. Perhaps
    // inside the notifier's own signal: deleted once that has returned.
    hotkeyNotifier_->setEnabled(false);
    hotkeyNotifier_->setParent(&context_);
    hotkeyNotifier_.release()->deleteLater();
  }
  if (fd < 0) return;
  hotkeyNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(hotkeyNotifier_.get(), &QSocketNotifier::activated, &context_, [this] {
    parts_.hotkey->Dispatch();
    FollowHotkeyFd();
    DispatchLater();
  });
}

void LinuxPlatform::DispatchLater() {
  if (closed_ || dispatchQueued_ || !parts_.hotkey || !parts_.hotkey->Pending()) return;
  dispatchQueued_ = true;
  QMetaObject::invokeMethod(
      &context_,
      [this] {
        dispatchQueued_ = false;
        if (closed_) return;
        parts_.hotkey->Dispatch();
        FollowHotkeyFd();
        DispatchLater();
      },
      Qt::QueuedConnection);
}

bool LinuxPlatform::RequestClose(CloseOrigin origin) {
  if (closed_) return false;
  if (events_ && events_->OnCloseRequest(origin)) return true;
  closed_ = true;
  tick_.stop();
  if (window_) window_->hide();
  // Ends every event loop, also a menu's or a message box's that is open.
  QCoreApplication::exit(0);
  return false;
}

void LinuxPlatform::OnTerminationSignal() {
  bool any = false;
  while (signals_.NextSignal()) any = true;
  if (any) RequestClose(CloseOrigin::OtherProgram);
}

// --- TimerApi ---

Status LinuxPlatform::SetTicking(bool on) {
  if (!on) {
    tick_.stop();
    return Status::Ok;
  }
  if (closed_) return Status::Failed;
  // Already on: the due times stay as they are.
  if (!tick_.isActive()) tick_.start();
  return Status::Ok;
}

// --- WindowApi ---

Status LinuxPlatform::SetTitle(std::string_view text) {
  if (!window_) return Status::Failed;
  window_->setWindowTitle(FromUtf8(text));
  return Status::Ok;
}

std::optional<bool> LinuxPlatform::IsWindowShown() {
  if (!window_) return std::nullopt;
  // Qt keeps a minimised window visible, as Windows does.
  return window_->isVisible();
}

Status LinuxPlatform::ShowWindow() {
  if (!window_ || closed_) return Status::Failed;
  window_->setWindowState(window_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  window_->show();
  window_->raise();
  window_->activateWindow();
  return Status::Ok;
}

Status LinuxPlatform::HideWindow() {
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

Status LinuxPlatform::CloseWindow() {
  if (!window_ || closed_) return Status::Failed;
  RequestClose(CloseOrigin::Program);
  return Status::Ok;
}

Status LinuxPlatform::PopUpTrayMenu() {
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

Status LinuxPlatform::ShowMessage(std::string_view text, std::string_view title) {
  QWidget* owner = window_ && window_->isVisible() ? window_.get() : nullptr;
  QMessageBox box(QMessageBox::Information, FromUtf8(title), FromUtf8(text), QMessageBox::Ok,
                  owner);
  box.exec();
  return Status::Ok;
}

Status LinuxPlatform::SetText(ControlId control, std::string_view text) {
  if (!window_) return Status::Failed;
  return window_->SetControlText(control, text);
}

std::optional<std::string> LinuxPlatform::GetText(ControlId control) {
  if (!window_) return std::nullopt;
  return window_->ControlText(control);
}

Status LinuxPlatform::AddQualityItem(int position, std::string_view text) {
  if (!window_) return Status::Failed;
  return window_->InsertQualityItem(position, text);
}

std::optional<bool> LinuxPlatform::IsSoundChecked() {
  if (!window_) return std::nullopt;
  return window_->SoundCheck()->isChecked();
}

Status LinuxPlatform::SetSoundChecked(bool checked) {
  if (!window_) return Status::Failed;
  window_->SoundCheck()->setChecked(checked);
  return Status::Ok;
}

// --- TrayApi ---

Status LinuxPlatform::AddTrayIcon(std::string_view tip) {
  if (!tray_) return Status::Failed;
  return tray_->Show(tip);
}

Status LinuxPlatform::RemoveTrayIcon() {
  if (!tray_) return Status::Failed;
  return tray_->Remove();
}

}  // namespace snapwick::linux
