#include "platform/linux/session_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace snapwick::linux {
namespace {

constexpr std::string_view kNoHotkey = "no hotkey";
constexpr std::string_view kNoScreen = "no screen";

struct NamedHotkey final : HotkeySource {
  NamedHotkey(std::string name, std::vector<std::string>& gone)
      : name(std::move(name)), gone(gone) {}
  ~NamedHotkey() override { gone.push_back(name); }
  void SetKeyHandler(KeyHandler) override {}
  HotkeyWatch Watch(int) override { return HotkeyWatch::Edges; }
  std::string name;
  std::vector<std::string>& gone;
};

struct NamedScreen final : ScreenSource {
  explicit NamedScreen(std::string name) : name(std::move(name)) {}
  ScreenGrab Grab() override { return {}; }
  std::string name;
};

// The ways a session may offer, each recording that it was asked.
class SessionChoice : public ::testing::Test {
 protected:
  HotkeySourceFactory Hotkey(const std::string& name, bool gives) {
    return [this, name, gives]() -> std::unique_ptr<HotkeySource> {
      asked_.push_back(name);
      if (!gives) return nullptr;
      return std::make_unique<NamedHotkey>(name, gone_);
    };
  }
  ScreenSourceFactory Screen(const std::string& name, bool gives) {
    return [this, name, gives]() -> std::unique_ptr<ScreenSource> {
      asked_.push_back(name);
      if (!gives) return nullptr;
      return std::make_unique<NamedScreen>(name);
    };
  }
  static std::string NameOf(const SessionParts& parts) {
    return static_cast<NamedHotkey*>(parts.hotkey.get())->name + "+" +
           static_cast<NamedScreen*>(parts.screen.get())->name;
  }

  std::vector<std::string> asked_;
  std::vector<std::string> gone_;
};

TEST_F(SessionChoice, EachPartFromTheFirstWayThatGivesOne_LaterWaysNeverAsked) {
  struct Case {
    bool sway, portalHotkey, screencopy, portalScreen;
    const char* chosen;
    std::vector<std::string> asked;
  } cases[] = {
      // sway: its IPC and screencopy; the portals are never started.
      {true, true, true, true, "sway+screencopy", {"sway", "screencopy"}},
      // Hyprland: no sway IPC, screencopy; the portal's hotkey.
      {false, true, true, true, "shortcuts+screencopy", {"sway", "shortcuts", "screencopy"}},
      // KDE Plasma, GNOME 48: both from the portals.
      {false, true, false, true, "shortcuts+cast", {"sway", "shortcuts", "screencopy", "cast"}},
  };
  for (const Case& c : cases) {
    asked_.clear();
    const SessionParts parts = ChooseSessionParts(
        {Hotkey("sway", c.sway), Hotkey("shortcuts", c.portalHotkey)},
        {Screen("screencopy", c.screencopy), Screen("cast", c.portalScreen)}, kNoHotkey, kNoScreen);
    ASSERT_TRUE(parts.hotkey && parts.screen) << c.chosen;
    EXPECT_EQ(NameOf(parts), c.chosen);
    EXPECT_EQ(asked_, c.asked) << c.chosen;
    EXPECT_TRUE(parts.notice.empty()) << c.chosen;
  }
}

// GNOME before 48: no key to hold, so no screen cast is started either
// (its chooser and indicator would be for nothing).
TEST_F(SessionChoice, NoHotkey_TheScreenIsNotAskedForAndTheNoticeSaysSo) {
  const SessionParts parts =
      ChooseSessionParts({Hotkey("sway", false), Hotkey("shortcuts", false)},
                         {Screen("screencopy", true), Screen("cast", true)}, kNoHotkey, kNoScreen);
  EXPECT_FALSE(parts.hotkey);
  EXPECT_FALSE(parts.screen);
  EXPECT_EQ(parts.notice, kNoHotkey);
  EXPECT_EQ(asked_, (std::vector<std::string>{"sway", "shortcuts"}));
}

// labwc, river, Wayfire, niri: a screen copy of the compositor's own but no
// key. The copy stays for the compositor's bindings, no key is watched, and
// the notice says how to bind one; a desktop's screen cast is not started
// for them, and where the compositor has no copy either nothing changes.
TEST_F(SessionChoice, NoHotkeyButTheCompositorsCopy_KeptWithTheBindingNotice) {
  const KeylessScreens keyless{{Screen("screencopy", true)}, "bind it"};
  SessionParts parts = ChooseSessionParts({Hotkey("sway", false), Hotkey("shortcuts", false)},
                                          {Screen("screencopy", true), Screen("cast", true)},
                                          kNoHotkey, kNoScreen, keyless);
  EXPECT_FALSE(parts.hotkey);
  ASSERT_TRUE(parts.screen);
  EXPECT_EQ(static_cast<NamedScreen*>(parts.screen.get())->name, "screencopy");
  EXPECT_EQ(parts.notice, "bind it");
  EXPECT_EQ(asked_, (std::vector<std::string>{"sway", "shortcuts", "screencopy"}));

  asked_.clear();
  parts = ChooseSessionParts({Hotkey("sway", false)},
                             {Screen("screencopy", false), Screen("cast", true)}, kNoHotkey,
                             kNoScreen, {{Screen("screencopy", false)}, "bind it"});
  EXPECT_FALSE(parts.screen);
  EXPECT_EQ(parts.notice, kNoHotkey);
  EXPECT_EQ(asked_, (std::vector<std::string>{"sway", "screencopy"}));
}

TEST_F(SessionChoice, NoScreen_TheHotkeyGoesBackAndTheNoticeSaysSo) {
  // An empty way (a desktop without portals) counts as one that gives none.
  const SessionParts parts = ChooseSessionParts(
      {Hotkey("shortcuts", true)}, {Screen("screencopy", false), ScreenSourceFactory{}}, kNoHotkey,
      kNoScreen);
  EXPECT_FALSE(parts.hotkey);
  EXPECT_FALSE(parts.screen);
  EXPECT_EQ(parts.notice, kNoScreen);
  // Given up at once: a desktop's shortcut session must not keep the key.
  EXPECT_EQ(gone_, std::vector<std::string>{"shortcuts"});
}

TEST_F(SessionChoice, NoWaysAtAll_NoPartsAndTheHotkeysNotice) {
  const SessionParts parts = ChooseSessionParts({}, {}, kNoHotkey, kNoScreen);
  EXPECT_FALSE(parts.hotkey);
  EXPECT_FALSE(parts.screen);
  EXPECT_EQ(parts.notice, kNoHotkey);
}

}  // namespace
}  // namespace snapwick::linux
