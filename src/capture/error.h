#pragma once

#include <optional>
#include <string>

namespace snapwick {

// An error that ends a procedure and goes to its caller.
struct Error {
  int number = 0;
  std::string description;
  bool operator==(const Error&) const = default;
};

// Nothing when the procedure succeeded.
using Failure = std::optional<Error>;

}  // namespace snapwick
