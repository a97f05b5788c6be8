#pragma once
// The keys released while a window of the program has the focus, seen on
// their way to the focused control and left to go on to it.

#include <QObject>
#include <functional>
#include <string_view>

#include "platform/linux/session_parts.h"
#include "platform/status.h"

namespace snapwick::linux {

class KeyCapture final : public QObject {
 public:
  using Handler = std::function<void(int virtualKey, std::string_view name)>;
  // Without a keymap every key is reported as one the program ignores.
  KeyCapture(SessionKeymap* keymap, Handler onReleased)
      : keymap_(keymap), onReleased_(std::move(onReleased)) {}
  ~KeyCapture() override;

  Status Start();
  Status Stop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  SessionKeymap* keymap_;
  Handler onReleased_;
  bool started_ = false;
};

}  // namespace snapwick::linux
