#pragma once

#include <optional>

#include "platform/types.h"

namespace snapwick {

class ClockApi {
 public:
  virtual ~ClockApi() = default;
  virtual std::optional<LocalDateTime> LocalNow() = 0;
};

}  // namespace snapwick
