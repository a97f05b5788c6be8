// The temporary files' names, and which leftovers start-up removes: the
// same on every platform.

#include "platform/temp_files.h"

#include <gtest/gtest.h>

#include <string>

namespace snapwick {
namespace {

TEST(TempFileName, ProcessAndSerial_SixteenLowercaseHexDigits) {
  EXPECT_EQ(TempFileName(0x1234, 0xABCDEF01), ".snapwick-00001234abcdef01.part");
  EXPECT_EQ(TempFileName(0, 0), ".snapwick-0000000000000000.part");
  EXPECT_EQ(TempFileName(0xFFFFFFFF, 0xFFFFFFFF), ".snapwick-ffffffffffffffff.part");
  const std::string first = NextTempFileName(42);
  EXPECT_NE(NextTempFileName(42), first);
  EXPECT_TRUE(first.starts_with(".snapwick-0000002a")) << first;
}

TEST(IsLeftoverTempFile, OnlyAFileOfExactlyThePattern) {
  const struct {
    const char* name;
    EntryKind kind;
    bool removed;
  } cases[] = {
      {".snapwick-00001234abcdef01.part", EntryKind::File, true},
      {".snapwick-0000000000000000.part", EntryKind::File, true},
      // A folder or a link of that name.
      {".snapwick-00001234abcdef01.part", EntryKind::Other, false},
      {".snapwick-00001234ABCDEF01.part", EntryKind::File, false},
      {".snapwick-00001234abcdef0.part", EntryKind::File, false},
      {".snapwick-00001234abcdef012.part", EntryKind::File, false},
      {".snapwick-00001234abcdef0g.part", EntryKind::File, false},
      {".snapwick-Ab3xYz.part", EntryKind::File, false},
      {"snapwick-00001234abcdef01.part", EntryKind::File, false},
      {"x.snapwick-00001234abcdef01.part", EntryKind::File, false},
      {".snapwick-00001234abcdef01.jpg", EntryKind::File, false},
      {".snapwick-00001234abcdef01.part.jpg", EntryKind::File, false},
      {"07.12.2026_05.12.21_1.jpg", EntryKind::File, false},
      {"", EntryKind::File, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsLeftoverTempFile(c.name, c.kind), c.removed)
        << c.name << (c.kind == EntryKind::File ? " file" : " other");
  }
  EXPECT_TRUE(IsLeftoverTempFile(NextTempFileName(7), EntryKind::File));
}

}  // namespace
}  // namespace snapwick
