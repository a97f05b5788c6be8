#include "platform/wayland/seat_key_names.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <string>

namespace snapwick::wayland {

struct SeatKeyNames::Keymap {
  Keymap(xkb_keymap* made, std::uint32_t numLock) : xkb(made), names(made), numLockMask(numLock) {}
  ~Keymap() { xkb_keymap_unref(xkb); }
  Keymap(const Keymap&) = delete;
  Keymap& operator=(const Keymap&) = delete;

  xkb_keymap* xkb;
  linux::KeyMap names;
  std::uint32_t numLockMask;
};

namespace {

std::uint32_t NumLockMask(xkb_keymap* keymap) {
  const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
  return index == XKB_MOD_INVALID || index >= 32 ? 0 : 1u << index;
}

}  // namespace

SeatKeyNames::SeatKeyNames() : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES)) {
  if (!context_) return;
  const xkb_rule_names us{"evdev", "pc105", "us", "", ""};
  if (xkb_keymap* keymap = xkb_keymap_new_from_names(context_, &us, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
    reference_ = std::make_unique<Keymap>(keymap, NumLockMask(keymap));
  }
}

SeatKeyNames::~SeatKeyNames() {
  reference_.reset();
  current_.reset();
  pc_.reset();
  if (context_) xkb_context_unref(context_);
}

bool SeatKeyNames::SetKeymap(std::string_view text) {
  if (!context_) return false;
  // The compositor's text ends with a NUL that is not part of it.
  const std::string keymapText(text.substr(0, text.find('\0')));
  xkb_keymap* keymap = xkb_keymap_new_from_string(
      context_, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) return false;
  current_ = std::make_shared<Keymap>(keymap, NumLockMask(keymap));
  // The digit row's first key: a keyboard with no such key is a virtual
  // one's own, and says nothing of where the user's letters are.
  if (xkb_keymap_key_by_name(keymap, "AE01") != XKB_KEYCODE_INVALID) pc_ = current_;
  return true;
}

xkb_keymap* SeatKeyNames::PcKeymap() const { return pc_ ? pc_->xkb : nullptr; }

bool SeatKeyNames::IsPcKey(const Keymap& keymap, std::uint32_t keycode) const {
  // Without the US keymap to compare with, every key is taken for one.
  if (!reference_) return true;
  const char* name = xkb_keymap_key_get_name(keymap.xkb, keycode);
  return name && xkb_keymap_key_by_name(reference_->xkb, name) != XKB_KEYCODE_INVALID;
}

bool SeatKeyNames::Types(const Keymap& keymap, std::uint32_t keycode, std::uint32_t keysym) const {
  const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap.xkb, keycode);
  if (layouts == 0) return false;
  const xkb_layout_index_t layout = layout_ % layouts;
  const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap.xkb, keycode, layout);
  for (xkb_level_index_t level = 0; level < levels; ++level) {
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap.xkb, keycode, layout, level, &syms);
    for (int i = 0; i < count; ++i) {
      // Caps Lock may have turned a letter's keysym to its capital.
      if (xkb_keysym_to_lower(syms[i]) == xkb_keysym_to_lower(keysym)) return true;
    }
  }
  return false;
}

std::optional<linux::KeyDescription> SeatKeyNames::Describe(std::uint32_t keycode,
                                                            std::uint32_t modifiers,
                                                            std::uint32_t keysym) const {
  if (current_ && IsPcKey(*current_, keycode) &&
      (keysym == 0 || Types(*current_, keycode, keysym))) {
    const bool numLockOn = (modifiers & current_->numLockMask) != 0;
    return current_->names.Describe(keycode, layout_, numLockOn);
  }
  return ByKeysym(keysym);
}

std::optional<linux::KeyDescription> SeatKeyNames::ByKeysym(std::uint32_t keysym) const {
  if (!reference_ || keysym == 0) return std::nullopt;
  xkb_keymap* us = reference_->xkb;
  // A keysym typed with no modifier first ('<' is a key of its own before
  // it is the comma key's shifted level), then the other levels.
  for (const bool baseLevel : {true, false}) {
    for (xkb_keycode_t code = xkb_keymap_min_keycode(us); code <= xkb_keymap_max_keycode(us);
         ++code) {
      const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(us, code, 0);
      for (xkb_level_index_t level = baseLevel ? 0 : 1; level < (baseLevel ? 1 : levels); ++level) {
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(us, code, 0, level, &syms);
        for (int i = 0; i < count; ++i) {
          if (syms[i] != keysym) continue;
          // The keypad's digits are on their second level, with Num Lock.
          return reference_->names.Describe(code, 0, level > 0);
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace snapwick::wayland
