#include "platform/temp_files.h"

#include <algorithm>
#include <atomic>

namespace snapwick {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

}  // namespace

std::string TempFileName(std::uint32_t process, std::uint32_t serial) {
  std::uint64_t number = (std::uint64_t{process} << 32) | serial;
  std::string digits(kTempFileDigits, '0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, number >>= 4) {
    *digit = kHexDigits[number & 0xF];
  }
  return std::string(kTempFilePrefix) + digits + std::string(kTempFileSuffix);
}

std::string NextTempFileName(std::uint32_t process) {
  static std::atomic<std::uint32_t> serial{0};
  return TempFileName(process, ++serial);
}

bool IsLeftoverTempFile(std::string_view name, EntryKind kind) {
  if (kind != EntryKind::File ||
      name.size() != kTempFilePrefix.size() + kTempFileDigits + kTempFileSuffix.size() ||
      !name.starts_with(kTempFilePrefix) || !name.ends_with(kTempFileSuffix)) {
    return false;
  }
  const std::string_view digits = name.substr(kTempFilePrefix.size(), kTempFileDigits);
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return kHexDigits.find(c) != std::string_view::npos; });
}

}  // namespace snapwick
