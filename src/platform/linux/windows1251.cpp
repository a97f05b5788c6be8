#include "platform/linux/windows1251.h"

#include <errno.h>
#include <iconv.h>

#include <cstdint>

namespace snapwick::linux {
namespace {

// glibc's table leaves it out; Windows maps it to U+0098 and back.
constexpr unsigned char kUndefinedByte = 0x98;

// One iconv descriptor per call: names are converted seldom, and a shared
// descriptor would need a lock.
class Iconv {
 public:
  // `room`: output bytes per input byte at most.
  Iconv(const char* to, const char* from, std::size_t room)
      : cd_(iconv_open(to, from)), room_(room) {}
  ~Iconv() {
    if (Ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts until the input ends or a character cannot be converted;
  // false in the second case, with errno telling why and `in` at the
  // character.
  bool Convert(std::string_view& in, std::string& out) {
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    const std::size_t start = out.size();
    out.resize(start + room_ * in.size());
    char* outPtr = out.data() + start;
    std::size_t outLeft = out.size() - start;
    const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    in.remove_prefix(in.size() - inLeft);
    return result != static_cast<std::size_t>(-1);
  }

 private:
  iconv_t cd_;
  std::size_t room_;
};

}  // namespace

std::optional<std::string> ToWindows1251(std::string_view utf8) {
  // Through UTF-32 first, so that a bad byte of UTF-8 and a character the
  // code page lacks, which iconv reports alike, are told apart.
  Iconv decode("UTF-32LE", "UTF-8", 4);
  Iconv encode("CP1251", "UTF-32LE", 1);
  if (!decode.Ok() || !encode.Ok()) return std::nullopt;
  std::string wide;
  if (!decode.Convert(utf8, wide)) return std::nullopt;

  std::string out;
  std::string_view rest = wide;
  while (!encode.Convert(rest, out)) {
    if (errno != EILSEQ || rest.size() < 4) return std::nullopt;
    std::uint32_t c = 0;
    for (int i = 3; i >= 0; --i) c = (c << 8) | static_cast<unsigned char>(rest[i]);
    out.push_back(c == kUndefinedByte ? static_cast<char>(kUndefinedByte) : '?');
    rest.remove_prefix(4);
  }
  return out;
}

std::string FromWindows1251(std::string_view bytes) {
  // No character of the code page takes more than three bytes of UTF-8.
  Iconv decode("UTF-8", "CP1251", 3);
  if (!decode.Ok()) return {};
  std::string out;
  // Only the undefined byte stops glibc's converter.
  while (!decode.Convert(bytes, out)) {
    if (errno != EILSEQ || bytes.empty()) return out;
    out += static_cast<unsigned char>(bytes.front()) == kUndefinedByte ? "\xC2\x98" : "?";
    bytes.remove_prefix(1);
  }
  return out;
}

}  // namespace snapwick::linux
