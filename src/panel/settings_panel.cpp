#include "panel/settings_panel.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "form/roles.h"
#include "form/texts.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "state/app_state.h"

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

void OnKeyReleased(Platform& p, AppState& s, int virtualKey, std::string_view name) {
  if (name.empty()) return;
  s.hotkey.pendingKey = virtualKey;
  p.SetText(ControlId::HotkeyBox, name);
  if (s.hotkey.hotKey != s.hotkey.pendingKey) PlayKeyCapturedSound(p, s);
}

void PlayKeyCapturedSound(Platform& p, const AppState& s) {
  if (s.soundOn != 0) p.PlaySound(s.wavFolder + "1.wav");
}

void OnQualityPicked(Platform& p, AppState& s) {
  if (auto text = p.GetText(ControlId::QualityCombo)) s.qualityText = *text;
}

void OnQualityEdited(Platform& p, const AppState& s) {
  // Typed text never stays; only a pick from the list changes the quality.
  // Leaving an equal text alone keeps the change event from looping.
  const auto text = p.GetText(ControlId::QualityCombo);
  if (!text || *text != s.qualityText) p.SetText(ControlId::QualityCombo, s.qualityText);
}

void Apply(Platform& p, AppState& s) {
  if (s.hotkey.pendingKey == 0) {
    p.ShowMessage(kNoHotkeyMessage, kAppName);
    return;
  }
  s.hotkey.hotKey = s.hotkey.pendingKey;
  if (auto key = p.GetText(ControlId::HotkeyBox)) {
    s.captionLead = kAppName;
    p.SetTitle(s.captionLead + " (HotKey:" + *key + ")");
  }
  if (auto text = p.GetText(ControlId::QualityCombo)) {
    if (auto quality = ParseQuality(*text)) s.quality = *quality;
  }
  s.soundOn = 0;
  if (p.IsSoundChecked().value_or(false)) s.soundOn = 1;
  SaveSettings(p, s);
}

}  // namespace snapwick
