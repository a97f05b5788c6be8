#include "settings/settings_record.h"

namespace snapwick::settings_record {

Record EmptyRecord() {
  Record head{};
  for (std::size_t i = kNameOffset; i < head.size(); ++i) head[i] = ' ';
  return head;
}

Fields Decode(const Record& head) {
  const auto* name = reinterpret_cast<const char*>(head.data() + kNameOffset);
  return {head[kQualityOffset], head[kSoundOffset], head[kHotKeyOffset],
          std::string(name, kNameLength)};
}

std::vector<std::uint8_t> Encode(std::uint8_t quality, std::uint8_t soundOn, std::uint8_t hotKey,
                                 std::string_view ansiName) {
  std::vector<std::uint8_t> record{quality, '\r', '\n', soundOn, '\r', '\n', hotKey, '\r', '\n'};
  record.reserve(record.size() + ansiName.size() + kPadding);
  record.insert(record.end(), ansiName.begin(), ansiName.end());
  record.insert(record.end(), kPadding, ' ');
  return record;
}

}  // namespace snapwick::settings_record
