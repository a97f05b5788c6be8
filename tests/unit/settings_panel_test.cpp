#include "panel/settings_panel.h"
#include "app_fixture.h"
#include "settings/settings_record.h"

namespace snapwick::testing {
namespace {

constexpr int kF5 = 116;
constexpr int kF8 = 119;
const std::string kSetIni = "C:\\Tools\\set.ini";

// The settings panel of a started program: defaults in force (F8, quality
// 80, sounds on), no key captured yet.
class Panel : public StartedProgram {
 protected:
  Panel() {
    p.folders.insert("C:\\Tools\\wav");
    Start();
  }
};

TEST_F(Panel, KeyReleased_WithANameBecomesThePendingKey) {
  const struct {
    const char* what;
    int key;
    const char* name;
    bool captured;
    bool sound;
  } cases[] = {
      {"a new key", kF5, "F5", true, true},
      {"the hotkey in force", kF8, "F8", true, false},
      {"a key without a name", 0xFF, "", false, false},
      {"Tab, which works the window", 0x09, "Tab", true, true},
  };
  for (const auto& c : cases) {
    FakePlatform fp;
    MainWindowLogic each(fp);
    each.OnStart();
    each.OnKeyReleased(c.key, c.name);
    EXPECT_EQ(each.State().hotkey.pendingKey, c.captured ? c.key : 0) << c.what;
    EXPECT_EQ(fp.texts[ControlId::HotkeyBox], c.captured ? c.name : "") << c.what;
    EXPECT_EQ(fp.soundsPlayed.size(), c.sound ? 1u : 0u) << c.what;
  }
}

TEST_F(Panel, KeyCapturedSound_OnlyWithSoundsOn) {
  logic.OnKeyReleased(kF5, "F5");
  EXPECT_EQ(p.soundsPlayed, std::vector<std::string>{"C:\\Tools\\wav\\1.wav"});

  p.soundChecked = false;
  logic.OnKeyReleased(kF5, "F5");
  logic.OnClick(ControlId::ApplyButton);  // sounds off from now on
  p.soundsPlayed.clear();
  logic.OnKeyReleased(0x41, "A");
  EXPECT_TRUE(p.soundsPlayed.empty());
  EXPECT_EQ(state().hotkey.pendingKey, 0x41);
}

TEST_F(Panel, KeyReleased_FailingSteps_StillCaptured) {
  p.Fail("SetText");
  p.Fail("PlaySound");
  logic.OnKeyReleased(kF5, "F5");
  EXPECT_EQ(state().hotkey.pendingKey, kF5);
}

TEST_F(Panel, Combo_PickTakesTheTextTypingIsUndone) {
  p.texts[ControlId::QualityCombo] = "30";
  logic.OnQualityPicked();
  EXPECT_EQ(state().qualityText, "30");
  EXPECT_EQ(state().quality, 80);  // nothing takes effect before Apply

  // Typing "5": the change event puts the quality text back at once.
  p.SetText(ControlId::QualityCombo, "5");
  EXPECT_EQ(p.texts[ControlId::QualityCombo], "30");

  // An equal text is left alone, so setting it cannot start a loop.
  p.calls.clear();
  logic.OnQualityEdited();
  EXPECT_EQ(p.Count("SetText"), 0);
}

TEST_F(Panel, Apply_WithoutACapturedKey_OnlyTheMessage) {
  p.files[kSetIni] = {1, 2, 3};
  p.texts[ControlId::QualityCombo] = "30";
  p.soundChecked = false;
  const std::string title = p.title;
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(p.messages, std::vector<std::string>{"Горячая клавиша не выбрана"});
  EXPECT_EQ(p.calls[p.IndexOf("ShowMessage")].detail, "Горячая клавиша не выбрана | Snapwick");
  EXPECT_EQ(state().hotkey.hotKey, kF8);
  EXPECT_EQ(state().quality, 80);
  EXPECT_EQ(state().soundOn, 1);
  EXPECT_EQ(p.title, title);
  EXPECT_EQ(p.files[kSetIni], (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(Panel, Apply_WithACapturedKey_TakesEverythingInOrderAndSaves) {
  logic.OnKeyReleased(kF5, "F5");
  p.texts[ControlId::QualityCombo] = "30";
  p.soundChecked = false;
  p.calls.clear();
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(state().hotkey.hotKey, kF5);
  EXPECT_EQ(p.title, "Snapwick (HotKey:F5)");
  EXPECT_EQ(state().quality, 30);
  EXPECT_EQ(state().soundOn, 0);
  EXPECT_EQ(p.files[kSetIni], settings_record::Encode(30, 0, 116, "F5"));
  EXPECT_LT(p.IndexOf("SetTitle"), p.IndexOf("IsSoundChecked"));
  EXPECT_LT(p.IndexOf("IsSoundChecked"), p.IndexOf("WriteFile"));

  // The new key is watched from now on, instead of the old one.
  EXPECT_EQ(p.watchedKey, kF5);
  EXPECT_GT(p.IndexOf("WatchHotkey"), p.IndexOf("WriteFile"));

  // Twice in a row: the same key again, the same file.
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(state().hotkey.pendingKey, kF5);
  EXPECT_EQ(p.files[kSetIni], settings_record::Encode(30, 0, 116, "F5"));
}

TEST_F(Panel, Apply_QualityText_ReadAsAWholeNumberOrKept) {
  logic.OnKeyReleased(kF5, "F5");
  const std::pair<const char*, int> cases[] = {
      {"100", 100}, {" 70 ", 70}, {"255", 255}, {"0", 0},
      {"256", 70},  {"7x", 70},   {"", 70},     {"-5", 70},
  };
  for (const auto& [text, expected] : cases) {
    p.texts[ControlId::QualityCombo] = text;
    logic.OnClick(ControlId::ApplyButton);
    EXPECT_EQ(state().quality, expected) << '"' << text << '"';
    if (expected != 70) {
      p.texts[ControlId::QualityCombo] = "70";
      logic.OnClick(ControlId::ApplyButton);
    }
  }
}

TEST_F(Panel, Apply_SoundBoxUnreadable_SoundOff) {
  logic.OnKeyReleased(kF5, "F5");
  p.soundChecked = true;
  p.Fail("IsSoundChecked");
  logic.OnClick(ControlId::ApplyButton);
  EXPECT_EQ(state().soundOn, 0);
}

}  // namespace
}  // namespace snapwick::testing
