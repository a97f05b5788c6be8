// The key the desktop really holds for the program, as the title and the
// user are told of it.

#include "app/hotkey_in_force.h"
#include "app_fixture.h"
#include "settings/settings_record.h"

namespace snapwick::testing {
namespace {

constexpr int kF8 = 0x77;
constexpr int kF5 = 0x74;

using HotkeyInForce = StartedProgram;

TEST_F(HotkeyInForce, AnotherKeyBound_TitleNamesItWithoutAMessage) {
  Start();
  logic.OnHotkeyBound("Ctrl+F8");
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:Ctrl+F8)");
  EXPECT_TRUE(p.messages.empty());
  // Nothing else changes: the settings' key stays the one watched and
  // saved, and the bytes of the name are the desktop's, Cyrillic too.
  EXPECT_EQ(state().hotkey.hotKey, kF8);
  EXPECT_EQ(p.watchedKey, kF8);
  logic.OnHotkeyBound("Ф");
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:Ф)");
}

TEST_F(HotkeyInForce, NoKeyBound_TitleWithoutAKeyAndTheMessageOnce) {
  Start();
  logic.OnHotkeyBound("");
  EXPECT_EQ(p.title, "Snapwick 1.1");
  ASSERT_EQ(p.messages, std::vector<std::string>{std::string(kNoHotkeyBoundMessage)});
  EXPECT_EQ(p.calls[p.IndexOf("ShowMessage")].detail,
            std::string(kNoHotkeyBoundMessage) + " | Snapwick");
  // The title first, so that the window behind the message already says it.
  EXPECT_LT(p.IndexOf("SetTitle"), p.IndexOf("ShowMessage"));
  // The desktop gives the key back later: named again, no second message.
  logic.OnHotkeyBound("F8");
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:F8)");
  EXPECT_EQ(p.messages.size(), 1u);
}

TEST_F(HotkeyInForce, NoKeyBound_ATitleThatCannotBeSetStillGivesTheMessage) {
  Start();
  p.Fail("SetTitle");
  logic.OnHotkeyBound("");
  EXPECT_EQ(p.messages.size(), 1u);
}

TEST_F(HotkeyInForce, AfterApply_TheNewKeyRefusedLeavesNoKeyInTheTitle) {
  Start();
  logic.OnKeyReleased(kF5, "F5");
  logic.OnClick(ControlId::ApplyButton);
  ASSERT_EQ(p.title, "Snapwick (HotKey:F5)");
  ASSERT_EQ(p.watchedKey, kF5);
  // The desktop's word for the key keeps Apply's caption.
  logic.OnHotkeyBound("F5");
  EXPECT_EQ(p.title, "Snapwick (HotKey:F5)");
  logic.OnHotkeyBound("");
  EXPECT_EQ(p.title, "Snapwick");
  // The choice is the user's all the same: set.ini keeps it.
  EXPECT_EQ(state().hotkey.hotKey, kF5);
  EXPECT_EQ(p.files["C:\\Tools\\set.ini"], settings_record::Encode(80, 1, 0x74, "F5"));
}

// A session with no way to hold a key (GNOME before 48) says so itself;
// the title must not promise the key all the same.
TEST_F(HotkeyInForce, AKeyThePlatformCannotWatch_TitleWithoutItAndNoMessageOfItsOwn) {
  p.hotkeyWatch = HotkeyWatch::None;
  Start();
  EXPECT_EQ(p.title, "Snapwick 1.1");
  EXPECT_TRUE(p.messages.empty());
  logic.OnKeyReleased(kF5, "F5");
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(p.title, "Snapwick");
  EXPECT_EQ(p.watchedKey, kF5);

  // Watched after all (the key's way came back): named again by Apply.
  p.hotkeyWatch = HotkeyWatch::Edges;
  logic.OnKeyReleased(0x75, "F6");
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(p.title, "Snapwick (HotKey:F6)");
}

}  // namespace
}  // namespace snapwick::testing
