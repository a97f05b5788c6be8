// Files and folders through the W calls, in a folder with Cyrillic letters.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::TempFolder;

class FilesTest : public ::testing::Test {
 protected:
  // Writes `bytes` as the whole file at `path`.
  void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const auto file = p.CreateForWrite(path);
    ASSERT_TRUE(file) << path;
    EXPECT_EQ(p.WriteAt(*file, 0, bytes), Status::Ok);
    EXPECT_EQ(p.CloseFile(*file), Status::Ok);
  }

  std::vector<std::uint8_t> ReadAll(const std::string& path) {
    const auto length = p.FileLength(path);
    if (!length) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*length));
    const auto file = p.OpenForRead(path);
    if (!file) return {};
    const auto got = p.ReadAt(*file, 0, bytes);
    p.CloseFile(*file);
    bytes.resize(got.value_or(0));
    return bytes;
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  TempFolder folder;
};

TEST_F(FilesTest, CreateFolder_NewThenExisting_OkThenFailed) {
  const std::string pic = folder.Utf8("pic");
  EXPECT_EQ(p.CreateFolder(pic), Status::Ok);
  const DWORD attributes = ::GetFileAttributesW(Widen(pic).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(p.CreateFolder(pic), Status::Failed);
  EXPECT_FALSE(p.FileExists(pic));
  EXPECT_EQ(p.FileLength(pic), std::nullopt);
}

TEST_F(FilesTest, CreateFolder_MissingParent_Failed) {
  EXPECT_EQ(p.CreateFolder(folder.Utf8("нет\\pic")), Status::Failed);
}

TEST_F(FilesTest, WrittenFile_ReadsBackWithItsLength) {
  const std::string path = folder.Utf8("set.ini");
  const std::vector<std::uint8_t> record{0x50, 0x0D, 0x0A, 0x01, 0x0D, 0x0A, 0x77, 0x0D, 0x0A,
                                         'F',  '8',  ' ',  ' '};
  Write(path, record);
  EXPECT_TRUE(p.FileExists(path));
  EXPECT_EQ(p.FileLength(path), static_cast<std::int64_t>(record.size()));
  EXPECT_EQ(ReadAll(path), record);
}

TEST_F(FilesTest, MissingFile_NoLengthNoHandle) {
  const std::string path = folder.Utf8("set.ini");
  EXPECT_FALSE(p.FileExists(path));
  EXPECT_EQ(p.FileLength(path), std::nullopt);
  EXPECT_EQ(p.OpenForRead(path), std::nullopt);
  EXPECT_EQ(p.DeleteFile(path), Status::Failed);
}

TEST_F(FilesTest, ReadAt_SingleBytesAtOffsets) {
  const std::string path = folder.Utf8("set.ini");
  Write(path, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
  const auto file = p.OpenForRead(path);
  ASSERT_TRUE(file);
  for (const std::int64_t offset : {0, 3, 6, 9}) {
    std::array<std::uint8_t, 1> byte{0};
    EXPECT_EQ(p.ReadAt(*file, offset, byte), 1u) << offset;
    EXPECT_EQ(byte[0], 10 + offset) << offset;
  }
  p.CloseFile(*file);
}

TEST_F(FilesTest, ReadAt_AcrossEnd_ShortCountAndTailUntouched) {
  const std::string path = folder.Utf8("set.ini");
  Write(path, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  const auto file = p.OpenForRead(path);
  ASSERT_TRUE(file);

  std::array<std::uint8_t, 8> across;
  across.fill(0x20);
  EXPECT_EQ(p.ReadAt(*file, 6, across), 4u);
  EXPECT_EQ(across, (std::array<std::uint8_t, 8>{7, 8, 9, 10, 0x20, 0x20, 0x20, 0x20}));

  std::array<std::uint8_t, 4> past;
  past.fill(0x20);
  EXPECT_EQ(p.ReadAt(*file, 10, past), 0u);
  EXPECT_EQ(p.ReadAt(*file, 1000, past), 0u);
  EXPECT_EQ(past, (std::array<std::uint8_t, 4>{0x20, 0x20, 0x20, 0x20}));

  EXPECT_EQ(p.ReadAt(*file, -1, past), std::nullopt);
  p.CloseFile(*file);
}

TEST_F(FilesTest, ReadAt_WriteOnlyHandle_Fails) {
  const auto file = p.CreateForWrite(folder.Utf8("set.ini"));
  ASSERT_TRUE(file);
  std::array<std::uint8_t, 2> bytes{};
  EXPECT_EQ(p.ReadAt(*file, 0, bytes), std::nullopt);
  p.CloseFile(*file);
}

TEST_F(FilesTest, WriteAt_Offsets_PlaceBytesThere) {
  const std::string path = folder.Utf8("set.ini");
  const auto file = p.CreateForWrite(path);
  ASSERT_TRUE(file);
  const std::array<std::uint8_t, 2> tail{'E', 'F'};
  const std::array<std::uint8_t, 3> head{'A', 'B', 'C'};
  EXPECT_EQ(p.WriteAt(*file, 4, tail), Status::Ok);
  EXPECT_EQ(p.WriteAt(*file, 0, head), Status::Ok);
  p.CloseFile(*file);
  EXPECT_EQ(ReadAll(path), (std::vector<std::uint8_t>{'A', 'B', 'C', 0, 'E', 'F'}));
}

TEST_F(FilesTest, CreateForWrite_ExistingLongerFile_Truncated) {
  const std::string path = folder.Utf8("set.ini");
  Write(path, std::vector<std::uint8_t>(40, 'x'));
  Write(path, {'F', '8'});
  EXPECT_EQ(p.FileLength(path), 2);
}

TEST_F(FilesTest, ReplaceFile_OverExistingAndOverNothing_TargetHoldsSource) {
  const std::string source = folder.Utf8("set.new");
  const std::string target = folder.Utf8("set.ini");
  Write(target, std::vector<std::uint8_t>(40, 'o'));
  Write(source, {'n', 'e', 'w'});
  EXPECT_EQ(p.ReplaceFile(source, target), Status::Ok);
  EXPECT_FALSE(p.FileExists(source));
  EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{'n', 'e', 'w'}));

  EXPECT_EQ(p.DeleteFile(target), Status::Ok);
  Write(source, {'2'});
  EXPECT_EQ(p.ReplaceFile(source, target), Status::Ok);
  EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{'2'}));
}

TEST_F(FilesTest, ReplaceFile_MissingSource_FailsAndKeepsTarget) {
  const std::string target = folder.Utf8("set.ini");
  Write(target, {'o', 'l', 'd'});
  EXPECT_EQ(p.ReplaceFile(folder.Utf8("set.new"), target), Status::Failed);
  EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST_F(FilesTest, DeleteFile_Existing_Gone) {
  const std::string path = folder.Utf8("07.12.2026_05.12.21_1.jpg");
  Write(path, {0xFF, 0xD8});
  EXPECT_EQ(p.DeleteFile(path), Status::Ok);
  EXPECT_FALSE(p.FileExists(path));
}

}  // namespace
}  // namespace snapwick::win32
