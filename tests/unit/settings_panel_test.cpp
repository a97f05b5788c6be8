#include "app_fixture.h"
#include "settings/settings_record.h"
#include "ui/settings_panel.h"
#include "ui/win_proc.h"

namespace snapwick::testing {
namespace {

constexpr std::intptr_t kF5 = 116;
// Transition bit set: the key is being released.
constexpr std::intptr_t kReleased = static_cast<std::intptr_t>(0xC03F0001u);
constexpr std::intptr_t kPressed = 0x003F0001;

class Panel : public AppTest {
 protected:
  Panel() {
    s.AppFolder = "C:\\Tools";
    s.WavFolder = "C:\\Tools\\wav\\";
    s.SoundOn = 1;
    s.Quality = 80;
    s.QualityText = "80";
    WinProc.HookHandle = 0x5000;
    WinProc.HotKey = 119;
    p.texts[ControlId::Cmb] = "80";
  }
};

struct HookCase {
  const char* what;
  int code;
  std::intptr_t lParam;
  int nameLength;
  bool captured;
};

TEST_F(Panel, Hook_CapturesOnlyReleasedKeysWithANameAndAlwaysPassesOn) {
  const HookCase cases[] = {
      {"released", 0, kReleased, 2, true},
      // In 64-bit builds lParam is wider than the flags: only the low 32
      // bits count, so a released key is not mistaken for a positive value.
      {"released, zero-extended", 0, static_cast<std::intptr_t>(std::uint32_t{0xC03F0001u}), 2,
       true},
      {"pressed", 0, kPressed, 2, false},
      {"not removed from the queue", 3, kReleased, 2, false},
      {"no name", 0, kReleased, 0, false},
      {"negative length", 0, kReleased, -1, false},
  };
  for (const auto& c : cases) {
    FakePlatform fp;
    AppState st = s;
    WinProc = {0x5000, 0, 119};
    fp.keyName = {c.nameLength, c.nameLength > 0 ? "F5" : ""};
    const auto result = KeyboardProc(fp, st, c.code, kF5, c.lParam);
    EXPECT_EQ(result, fp.nextHookResult) << c.what;
    EXPECT_EQ(WinProc.PendingKey, c.captured ? kF5 : 0) << c.what;
    EXPECT_EQ(fp.texts[ControlId::T_key], c.captured ? "F5" : "") << c.what;
    EXPECT_EQ(fp.soundsPlayed.size(), c.captured ? 1u : 0u) << c.what;
    // The message goes on unchanged, as the last thing the hook does.
    EXPECT_EQ(fp.calls.back().name, "CallNextHookEx") << c.what;
    EXPECT_EQ(fp.calls.back().detail, "20480 " + std::to_string(c.code) + " 116 " +
                                          std::to_string(c.lParam))
        << c.what;
  }
}

TEST_F(Panel, Hook_AsksForTheNameWithThirtyCharacters) {
  KeyboardProc(p, s, 0, kF5, kReleased);
  EXPECT_EQ(p.calls[p.IndexOf("GetKeyNameText")].detail,
            std::to_string(static_cast<std::int32_t>(0xC03F0001u)) + " 30");
}

TEST_F(Panel, Hook_SoundOnlyForANewKeyWithSoundsOn) {
  p.keyName = {2, "F8"};
  KeyboardProc(p, s, 0, 119, kReleased);  // the hotkey in force
  EXPECT_EQ(WinProc.PendingKey, 119);
  EXPECT_EQ(p.texts[ControlId::T_key], "F8");
  EXPECT_TRUE(p.soundsPlayed.empty());

  s.SoundOn = 0;
  p.keyName = {2, "F5"};
  KeyboardProc(p, s, 0, kF5, kReleased);
  EXPECT_TRUE(p.soundsPlayed.empty());

  s.SoundOn = 1;
  KeyboardProc(p, s, 0, kF5, kReleased);
  EXPECT_EQ(p.soundsPlayed, std::vector<std::string>{"C:\\Tools\\wav\\1.wav"});
}

TEST_F(Panel, Hook_FailingSteps_StillPassesOn) {
  p.Fail("SetText");
  p.Fail("PlaySoundAsync");
  EXPECT_EQ(KeyboardProc(p, s, 0, kF5, kReleased), p.nextHookResult);
  EXPECT_EQ(WinProc.PendingKey, kF5);
}

TEST_F(Panel, Combo_PickTakesTheTextTypingIsUndone) {
  p.texts[ControlId::Cmb] = "30";
  OnQualityPicked(p, s);
  EXPECT_EQ(s.QualityText, "30");
  EXPECT_EQ(s.Quality, 80);  // nothing takes effect before Apply

  p.texts[ControlId::Cmb] = "5";
  OnQualityEdited(p, s);
  EXPECT_EQ(p.texts[ControlId::Cmb], "30");

  // An equal text is left alone, so setting it cannot start a loop.
  p.calls.clear();
  OnQualityEdited(p, s);
  EXPECT_EQ(p.Count("SetText"), 0);
}

TEST_F(Panel, Apply_WithoutACapturedKey_OnlyTheMessage) {
  p.files["C:\\Tools\\set.ini"] = {1, 2, 3};
  p.texts[ControlId::Cmb] = "30";
  p.check = 0;
  Apply(p, s);
  EXPECT_EQ(p.messages, std::vector<std::string>{"Горячая клавиша не выбрана"});
  EXPECT_EQ(p.calls[p.IndexOf("MessageBoxInfo")].detail, "Snapwick");
  EXPECT_EQ(WinProc.HotKey, 119);
  EXPECT_EQ(s.Quality, 80);
  EXPECT_EQ(s.SoundOn, 1);
  EXPECT_EQ(p.caption, "");
  EXPECT_EQ(p.files["C:\\Tools\\set.ini"], (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(Panel, Apply_WithACapturedKey_TakesEverythingAndSaves) {
  KeyboardProc(p, s, 0, kF5, kReleased);
  p.texts[ControlId::Cmb] = "30";
  p.check = 0;
  p.calls.clear();
  Apply(p, s);
  EXPECT_EQ(WinProc.HotKey, kF5);
  EXPECT_EQ(p.caption, "Snapwick (HotKey:F5)");
  EXPECT_EQ(s.Quality, 30);
  EXPECT_EQ(s.SoundOn, 0);
  EXPECT_EQ(p.files["C:\\Tools\\set.ini"], settings_record::Encode(30, 0, 116, "F5"));
  EXPECT_LT(p.IndexOf("SetFrmCaption"), p.IndexOf("CheckValue"));
  EXPECT_LT(p.IndexOf("CheckValue"), p.IndexOf("CreateForWrite"));

  // Twice in a row: the same key again, the same file.
  Apply(p, s);
  EXPECT_EQ(WinProc.PendingKey, kF5);
  EXPECT_EQ(p.files["C:\\Tools\\set.ini"], settings_record::Encode(30, 0, 116, "F5"));
}

TEST_F(Panel, Apply_QualityText_ReadAsAWholeNumberOrKept) {
  WinProc.PendingKey = kF5;
  const std::pair<const char*, int> cases[] = {
      {"100", 100}, {" 70 ", 70}, {"255", 255}, {"0", 0},
      {"256", 42},  {"7x", 42},   {"", 42},     {"-5", 42},
  };
  for (const auto& [text, expected] : cases) {
    s.Quality = 42;
    p.texts[ControlId::Cmb] = text;
    Apply(p, s);
    EXPECT_EQ(s.Quality, expected) << '"' << text << '"';
  }
}

TEST_F(Panel, Apply_CheckUnreadable_SoundOff) {
  WinProc.PendingKey = kF5;
  p.check = 1;
  p.Fail("CheckValue");
  Apply(p, s);
  EXPECT_EQ(s.SoundOn, 0);
}

}  // namespace
}  // namespace snapwick::testing
