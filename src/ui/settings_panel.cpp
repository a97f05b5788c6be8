#include "ui/settings_panel.h"

#include <charconv>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "ui/win_proc.h"

namespace snapwick {
namespace {

// The combo's text as a whole number from 0 to 255, surrounding spaces
// allowed; anything else cannot be read as a quality.
std::optional<std::uint8_t> ParseQuality(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > 255) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

}  // namespace

void Wav_1(Platform& p, const AppState& s) {
  if (s.SoundOn != 0) p.PlaySoundAsync(s.WavFolder + "1.wav");
}

void OnQualityPicked(Platform& p, AppState& s) {
  if (auto text = p.GetText(ControlId::Cmb)) s.QualityText = *text;
}

void OnQualityEdited(Platform& p, const AppState& s) {
  // Typed text never stays; only a pick from the list changes the quality.
  // Leaving an equal text alone keeps the change event from looping.
  const auto text = p.GetText(ControlId::Cmb);
  if (!text || *text != s.QualityText) p.SetText(ControlId::Cmb, s.QualityText);
}

void Apply(Platform& p, AppState& s) {
  if (WinProc.PendingKey == 0) {
    p.MessageBoxInfo(kNoHotkeyMessage, kMessageTitle);
    return;
  }
  WinProc.HotKey = WinProc.PendingKey;
  if (auto key = p.GetText(ControlId::T_key)) {
    p.SetFrmCaption("Snapwick (HotKey:" + *key + ")");
  }
  if (auto text = p.GetText(ControlId::Cmb)) {
    if (auto quality = ParseQuality(*text)) s.Quality = *quality;
  }
  s.SoundOn = 0;
  if (auto check = p.CheckValue(); check && *check != 0) s.SoundOn = 1;
  SaveSettings(p, s);
}

}  // namespace snapwick
