#pragma once
// The shot timer.

#include "platform/status.h"

namespace snapwick {

class TimerApi {
 public:
  virtual ~TimerApi() = default;

  // While on, WindowEvents::OnTick every 50 ms, the first 50 ms after it
  // was turned on, on due times that do not drift; a tick that comes late
  // does not make the next one late, and ticks that were missed are not
  // made up for.
  virtual Status SetTicking(bool on) = 0;
};

}  // namespace snapwick
