#include "settings/settings_file.h"

#include <array>
#include <span>
#include <string>

#include "app/app_state.h"
#include "platform/platform.h"
#include "settings/settings_record.h"
#include "ui/settings_panel.h"
#include "ui/win_proc.h"

namespace snapwick {
namespace {

namespace rec = settings_record;

std::string SettingsPath(const AppState& s) { return s.AppFolder + std::string(kSettingsFileName); }

// The length as a 16-bit count: a file that cannot be measured, or of
// 32768 bytes or more, counts as empty.
std::int64_t UsableLength(Platform& p, const std::string& path) {
  const auto length = p.FileLength(path);
  if (!length || *length < 0 || *length >= rec::kMaxLength) return 0;
  return *length;
}

void ApplyDefaults(Platform& p, AppState& s) {
  // QualityText first: the combo's change handler puts it back into the
  // combo, so the other order would undo the new text.
  s.QualityText = std::to_string(kDefaultQuality);
  p.SetText(ControlId::Cmb, s.QualityText);
  s.Quality = kDefaultQuality;
  s.SoundOn = 1;
  p.SetCheckValue(1);
  p.SetFrmCaption(kDefaultCaption);
  WinProc.HotKey = kDefaultHotKey;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

void LoadSettings(Platform& p, AppState& s) {
  for (std::size_t i = 0; i < kQualityList.size(); ++i) {
    p.ComboAddItem(static_cast<int>(i), kQualityList[i]);
  }

  const std::string path = SettingsPath(s);
  if (UsableLength(p, path) == 0) {
    ApplyDefaults(p, s);
    return;
  }

  // Bytes that cannot be read stay 0; name bytes past the end stay spaces.
  std::array<std::uint8_t, 3> bytes{};
  std::array<std::uint8_t, rec::kNameLength> name;
  name.fill(' ');
  if (const auto file = p.OpenForRead(path)) {
    p.ReadAt(*file, rec::kQualityOffset, std::span(bytes).subspan(0, 1));
    p.ReadAt(*file, rec::kSoundOffset, std::span(bytes).subspan(1, 1));
    p.ReadAt(*file, rec::kHotKeyOffset, std::span(bytes).subspan(2, 1));
    p.ReadAt(*file, rec::kNameOffset, name);
    p.CloseFile(*file);
  }

  const std::uint8_t quality = bytes[0];
  s.Quality = quality >= 10 && quality <= 100 ? quality : kDefaultQuality;
  s.QualityText = std::to_string(s.Quality);
  p.SetText(ControlId::Cmb, s.QualityText);

  if (bytes[1] == 1) {
    s.SoundOn = 1;
    p.SetCheckValue(1);
  }

  if (bytes[2] == 0) {
    ApplyDefaults(p, s);
    return;
  }
  WinProc.HotKey = bytes[2];
  const std::string keyName =
      p.FromAnsi(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
  p.SetFrmCaption(s.TitleText + " (HotKey:" + std::string(Trim(keyName)) + ")");
}

void SaveSettings(Platform& p, const AppState& s) {
  const auto keyName = p.GetText(ControlId::T_key);
  const auto ansiName = keyName ? p.ToAnsi(*keyName) : std::nullopt;
  const auto record = rec::Encode(s.Quality, s.SoundOn, static_cast<std::uint8_t>(WinProc.HotKey),
                                  ansiName.value_or(std::string()));

  // Write beside the old file and swap it in only once the new record is
  // complete, so that a failed write never loses the user's settings.
  const std::string path = SettingsPath(s);
  // A stale temporary that cannot be overwritten (left read-only, or a
  // folder of that name) must not block every later save: try a second name.
  for (const char* suffix : {".new", ".new2"}) {
    const std::string temp = path + suffix;
    const auto file = p.CreateForWrite(temp);
    if (!file) continue;
    const bool written = Succeeded(p.WriteAt(*file, 0, record));
    const bool closed = Succeeded(p.CloseFile(*file));
    if (!written || !closed || !Succeeded(p.ReplaceFile(temp, path))) p.DeleteFile(temp);
    return;
  }
}

}  // namespace snapwick
