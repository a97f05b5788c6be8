#pragma once
// The end of the user's session. Qt's session manager turns the session
// manager's "die" into a spontaneous Quit event to the application, which
// Qt would answer by closing every window; here it becomes one close
// request that the program handles like any other.

#include <QObject>
#include <functional>

namespace snapwick::linux {

class SessionEnd final : public QObject {
 public:
  // `onEnd` returns true when the program goes on (the end was refused).
  explicit SessionEnd(std::function<bool()> onEnd);
  ~SessionEnd() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<bool()> onEnd_;
};

}  // namespace snapwick::linux
