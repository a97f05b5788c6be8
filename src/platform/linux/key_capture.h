#pragma once
// The keys released while a window of the program has the focus, seen on
// their way to the focused control and left to go on to it.

#include <QObject>
#include <functional>
#include <string_view>

#include "platform/status.h"
#include "platform/x11/key_state.h"

namespace snapwick::linux {

class KeyCapture final : public QObject {
 public:
  using Handler = std::function<void(int virtualKey, std::string_view name)>;
  KeyCapture(KeyState& keys, Handler onReleased)
      : keys_(keys), onReleased_(std::move(onReleased)) {}
  ~KeyCapture() override;

  Status Start();
  Status Stop();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  KeyState& keys_;
  Handler onReleased_;
  bool started_ = false;
};

}  // namespace snapwick::linux
