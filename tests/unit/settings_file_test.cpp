#include "settings/settings_file.h"
#include "app_fixture.h"
#include "form/roles.h"
#include "settings/settings_record.h"

namespace snapwick::testing {
namespace {

const std::string kPath = "C:\\Tools\\set.ini";

std::vector<std::uint8_t> Record(std::uint8_t q, std::uint8_t snd, std::uint8_t key,
                                 std::string_view name) {
  return settings_record::Encode(q, snd, key, name);
}

class Settings : public AppTest {
 protected:
  Settings() {
    s.appFolder = "C:\\Tools";
    s.titleText = "Snapwick 1.1";
    // The combo's change handler puts the quality text back whenever its
    // text changes, as the real window does.
    p.onQualityEdited = [this] {
      if (p.texts[ControlId::QualityCombo] != s.qualityText) {
        p.texts[ControlId::QualityCombo] = s.qualityText;
      }
    };
  }
};

TEST_F(Settings, Record_ExampleBytes) {
  const std::vector<std::uint8_t> expected = {0x50, 0x0D, 0x0A, 0x01, 0x0D, 0x0A, 0x77, 0x0D,
                                              0x0A, 0x46, 0x38, 0x20, 0x20, 0x20, 0x20, 0x20,
                                              0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
                                              0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  EXPECT_EQ(Record(80, 1, 119, "F8"), expected);
}

struct LoadCase {
  const char* what;
  std::optional<std::vector<std::uint8_t>> file;
  int quality;
  const char* qualityText;
  int soundOn;
  int hotKey;
  const char* caption;
};

TEST_F(Settings, Load_Table) {
  std::vector<std::uint8_t> big = Record(30, 0, 117, "F6");
  big.resize(40000, ' ');
  std::vector<std::uint8_t> justFits = Record(30, 0, 117, "F6");
  justFits.resize(32767, ' ');
  const LoadCase cases[] = {
      {"no file", std::nullopt, 80, "80", 1, 119, "Snapwick 1.1 (HotKey:F8)"},
      {"empty file", std::vector<std::uint8_t>{}, 80, "80", 1, 119, "Snapwick 1.1 (HotKey:F8)"},
      {"example", Record(80, 1, 119, "F8"), 80, "80", 1, 119, "Snapwick 1.1 (HotKey:F8)"},
      {"F6 quiet", Record(30, 0, 117, "F6"), 30, "30", 0, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"quality 9", Record(9, 1, 117, "F6"), 80, "80", 1, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"quality 101", Record(101, 1, 117, "F6"), 80, "80", 1, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"quality 10", Record(10, 1, 117, "F6"), 10, "10", 1, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"quality 100", Record(100, 1, 117, "F6"), 100, "100", 1, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"quality 75", Record(75, 1, 117, "F6"), 75, "75", 1, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"sound 2", Record(50, 2, 117, "F6"), 50, "50", 0, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"no hotkey", Record(30, 0, 0, "F6"), 80, "80", 1, 119, "Snapwick 1.1 (HotKey:F8)"},
      {"hotkey 255", Record(30, 1, 255, "X"), 30, "30", 1, 255, "Snapwick 1.1 (HotKey:X)"},
      {"40000 bytes", big, 80, "80", 1, 119, "Snapwick 1.1 (HotKey:F8)"},
      {"32767 bytes", justFits, 30, "30", 0, 117, "Snapwick 1.1 (HotKey:F6)"},
      {"long name", Record(30, 1, 65, "ABCDEFGHIJKLMNOPQRSTUVWXY"), 30, "30", 1, 65,
       "Snapwick 1.1 (HotKey:ABCDEFGHIJKLMNOPQRST)"},
      // Shorter than a record: missing bytes read as 0, missing name
      // bytes as spaces.
      {"7 bytes", std::vector<std::uint8_t>{40, 13, 10, 1, 13, 10, 66}, 40, "40", 1, 66,
       "Snapwick 1.1 (HotKey:)"},
      {"6 bytes", std::vector<std::uint8_t>{40, 13, 10, 1, 13, 10}, 80, "80", 1, 119,
       "Snapwick 1.1 (HotKey:F8)"},
      {"11 bytes", std::vector<std::uint8_t>{40, 13, 10, 0, 13, 10, 66, 13, 10, 'Q', 'w'}, 40, "40",
       0, 66, "Snapwick 1.1 (HotKey:Qw)"},
  };
  for (const auto& c : cases) {
    FakePlatform fp;
    AppState st;
    st.appFolder = "C:\\Tools";
    st.titleText = "Snapwick 1.1";
    if (c.file) fp.files[kPath] = *c.file;
    LoadSettings(fp, st);
    EXPECT_EQ(st.quality, c.quality) << c.what;
    EXPECT_EQ(st.qualityText, c.qualityText) << c.what;
    EXPECT_EQ(fp.texts[ControlId::QualityCombo], c.qualityText) << c.what;
    EXPECT_EQ(st.soundOn, c.soundOn) << c.what;
    EXPECT_EQ(fp.soundChecked, c.soundOn == 1) << c.what;
    EXPECT_EQ(st.hotkey.hotKey, c.hotKey) << c.what;
    EXPECT_EQ(fp.title, c.caption) << c.what;
    EXPECT_EQ(fp.texts[ControlId::HotkeyBox], "") << c.what;
  }
}

TEST_F(Settings, Load_FillsTheQualityListTopDown) {
  LoadSettings(p, s);
  EXPECT_EQ(p.qualityItems, (std::vector<std::string>{"100", "90", "80", "70", "60", "50", "40",
                                                      "30", "20", "10"}));
}

TEST_F(Settings, Load_QualityTextIsSetBeforeTheCombo) {
  // With the combo's change handler wired, the other order would leave the
  // combo showing the old text.
  p.files[kPath] = Record(30, 1, 117, "F6");
  LoadSettings(p, s);
  EXPECT_EQ(p.texts[ControlId::QualityCombo], "30");
  p.files.clear();
  LoadSettings(p, s);
  EXPECT_EQ(p.texts[ControlId::QualityCombo], "80");
}

TEST_F(Settings, Load_FileThatCannotBeRead_Defaults) {
  p.files[kPath] = Record(30, 0, 117, "F6");
  p.Fail("ReadFile");
  LoadSettings(p, s);
  EXPECT_EQ(s.hotkey.hotKey, 119);
  EXPECT_EQ(s.quality, 80);
  EXPECT_EQ(s.soundOn, 1);
}

TEST_F(Settings, Load_LinuxFolder_ReadsSetIniBesideTheProgram) {
  p.separator = '/';
  s.appFolder = "/home/ann/snapwick";
  p.files["/home/ann/snapwick/set.ini"] = Record(30, 0, 117, "F6");
  LoadSettings(p, s);
  EXPECT_EQ(s.hotkey.hotKey, 117);
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:F6)");
}

TEST_F(Settings, Save_WritesExactRecordOverALongerOne) {
  p.files[kPath] = Record(50, 1, 65, "A very long key name");
  s.quality = 80;
  s.soundOn = 1;
  s.hotkey.hotKey = 119;
  p.texts[ControlId::HotkeyBox] = "F8";
  SaveSettings(p, s);
  EXPECT_EQ(p.files[kPath], Record(80, 1, 119, "F8"));
  EXPECT_EQ(p.files[kPath].size(), 31u);
  EXPECT_EQ(p.files.size(), 1u);  // no temporary file left
  // Written beside it, then swapped in.
  EXPECT_EQ(p.calls[p.IndexOf("ReplaceFile")].detail,
            "C:\\Tools\\set.ini.new -> C:\\Tools\\set.ini");
}

TEST_F(Settings, Save_LongNameWrittenWholeAndReadBackAsTwentyBytes) {
  s.quality = 30;
  s.soundOn = 0;
  s.hotkey.hotKey = 65;
  p.texts[ControlId::HotkeyBox] = "ABCDEFGHIJKLMNOPQRSTUVWXY";
  SaveSettings(p, s);
  EXPECT_EQ(p.files[kPath].size(), 29u + 25u);

  AppState next;
  next.appFolder = s.appFolder;
  next.titleText = s.titleText;
  LoadSettings(p, next);
  EXPECT_EQ(p.title, "Snapwick 1.1 (HotKey:ABCDEFGHIJKLMNOPQRST)");
  EXPECT_EQ(next.quality, 30);
  EXPECT_EQ(next.soundOn, 0);
}

TEST_F(Settings, Save_AnyStepFailing_OldFileKeptAndNoTemporaryLeft) {
  const auto old = Record(50, 1, 65, "A");
  for (const char* step : {"WriteFile", "ReplaceFile"}) {
    // Every attempt at the step fails, whatever temporary name is tried.
    FakePlatform fp;
    fp.files[kPath] = old;
    AppState st;
    st.appFolder = "C:\\Tools";
    st.quality = 80;
    st.hotkey.hotKey = 119;
    fp.Fail(step);
    SaveSettings(fp, st);
    EXPECT_EQ(fp.files[kPath], old) << step;
    EXPECT_EQ(fp.files.size(), 1u) << step;
  }
}

TEST_F(Settings, Save_StaleTemporaryInTheWay_SavesThroughASecondName) {
  p.files[kPath] = Record(50, 1, 65, "A");
  s.quality = 90;
  s.soundOn = 1;
  s.hotkey.hotKey = 116;
  p.texts[ControlId::HotkeyBox] = "F5";
  p.Fail("WriteFile", 1);
  SaveSettings(p, s);
  EXPECT_EQ(p.files[kPath], Record(90, 1, 116, "F5"));
  EXPECT_EQ(p.files.size(), 1u);
}

TEST_F(Settings, Save_NameThatTheCodePageLacks_SavedWithoutAName) {
  s.quality = 100;
  s.soundOn = 1;
  s.hotkey.hotKey = 116;
  p.texts[ControlId::HotkeyBox] = "F5";
  p.Fail("ToAnsi");
  SaveSettings(p, s);
  EXPECT_EQ(p.files[kPath], Record(100, 1, 116, ""));
}

}  // namespace
}  // namespace snapwick::testing
