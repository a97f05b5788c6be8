#include "settings/settings_file.h"

#include <array>
#include <string>

#include "form/roles.h"
#include "form/texts.h"
#include "platform/platform.h"
#include "settings/settings_record.h"
#include "state/app_state.h"

namespace snapwick {
namespace {

namespace rec = settings_record;

std::string SettingsPath(Platform& p, const AppState& s) {
  return s.appFolder + p.PathSeparator() + std::string(kSettingsFileName);
}

// The length as a 16-bit count: a file that cannot be read, or of 32768
// bytes or more, counts as empty.
bool Usable(const std::optional<FileHead>& head) {
  return head && head->length > 0 && head->length < rec::kMaxLength;
}

void ApplyDefaults(Platform& p, AppState& s) {
  // The quality text first: the combo's change handler puts it back into
  // the combo, so the other order would undo the new text.
  s.qualityText = std::to_string(kDefaultQuality);
  p.SetText(ControlId::QualityCombo, s.qualityText);
  s.quality = kDefaultQuality;
  s.soundOn = 1;
  p.SetSoundChecked(true);
  p.SetTitle(kDefaultCaption);
  s.hotkey.hotKey = kDefaultHotKey;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

void LoadSettings(Platform& p, AppState& s) {
  for (std::size_t i = 0; i < kQualityList.size(); ++i) {
    p.AddQualityItem(static_cast<int>(i), kQualityList[i]);
  }

  // Bytes past the end of a short file stay 0, and name bytes spaces.
  rec::Record record = rec::EmptyRecord();
  if (!Usable(p.ReadFile(SettingsPath(p, s), record))) {
    ApplyDefaults(p, s);
    return;
  }
  const rec::Fields fields = rec::Decode(record);

  s.quality = fields.quality >= 10 && fields.quality <= 100 ? fields.quality : kDefaultQuality;
  s.qualityText = std::to_string(s.quality);
  p.SetText(ControlId::QualityCombo, s.qualityText);

  if (fields.sound == 1) {
    s.soundOn = 1;
    p.SetSoundChecked(true);
  }

  if (fields.hotKey == 0) {
    ApplyDefaults(p, s);
    return;
  }
  s.hotkey.hotKey = fields.hotKey;
  const std::string keyName = p.FromAnsi(fields.ansiName);
  p.SetTitle(s.titleText + " (HotKey:" + std::string(Trim(keyName)) + ")");
}

void SaveSettings(Platform& p, const AppState& s) {
  const auto keyName = p.GetText(ControlId::HotkeyBox);
  const auto ansiName = keyName ? p.ToAnsi(*keyName) : std::nullopt;
  const auto record = rec::Encode(s.quality, s.soundOn, static_cast<std::uint8_t>(s.hotkey.hotKey),
                                  ansiName.value_or(std::string()));

  // Written beside the old file and swapped in only once complete, so that
  // a failed write never loses the user's settings. A stale temporary that
  // cannot be overwritten (left read-only, or a folder of that name) must
  // not block every later save: a second name is tried.
  const std::string path = SettingsPath(p, s);
  for (const char* suffix : {".new", ".new2"}) {
    const std::string temp = path + suffix;
    if (Succeeded(p.WriteFile(temp, record)) && Succeeded(p.ReplaceFile(temp, path))) return;
    p.DeleteFile(temp);
  }
}

}  // namespace snapwick
