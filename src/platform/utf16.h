#pragma once

#include <string>
#include <string_view>

namespace snapwick {

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace snapwick
