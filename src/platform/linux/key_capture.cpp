#include "platform/linux/key_capture.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <string>

namespace snapwick::linux {

KeyCapture::~KeyCapture() { Stop(); }

Status KeyCapture::Start() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return Status::Failed;
  if (!started_) app->installEventFilter(this);
  started_ = true;
  return Status::Ok;
}

Status KeyCapture::Stop() {
  if (!started_) return Status::Failed;
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  started_ = false;
  return Status::Ok;
}

bool KeyCapture::eventFilter(QObject* watched, QEvent* event) {
  // Every key event reaches a top-level window first, once, and is then
  // handed on to the widget with the focus (and to its parents while no
  // one takes it): the window's copy is the one to count.
  if (event->type() != QEvent::KeyRelease || !watched->isWindowType()) return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  // X repeats a held key as release and press pairs: a held key is
  // captured once, at its real release. Qt marks a repeated release only
  // when the press behind it has already been read, so the session is
  // asked too.
  if (key->isAutoRepeat()) return false;
  if (keymap_ && keymap_->RepeatedRelease(key->nativeScanCode())) return false;
  const auto info = keymap_ ? keymap_->Describe(key->nativeScanCode(), key->nativeModifiers(),
                                                key->nativeVirtualKey())
                            : std::nullopt;
  if (info) {
    onReleased_(info->virtualKey, info->name);
  } else {
    onReleased_(0, std::string_view{});
  }
  return false;
}

}  // namespace snapwick::linux
