// Files and folders through the platform, in a folder with Cyrillic letters
// and in one whose path is longer than MAX_PATH.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"
#include "win32_test_support.h"

namespace snapwick::win32 {
namespace {

using testing::TempFolder;

using Bytes = std::vector<std::uint8_t>;

// The folders every test of files runs in.
class FilesTest : public ::testing::TestWithParam<TempFolder::Depth> {
 public:
  // The whole file, read with the system's own calls.
  static Bytes Contents(const std::string& path) {
    Bytes bytes(4096);
    KernelHandle file(::CreateFileW(TempFolder::LongForm(Widen(path)).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD got = 0;
    if (!file || !::ReadFile(file.Get(), bytes.data(), 4096, &got, nullptr)) return {};
    bytes.resize(got);
    return bytes;
  }
  static bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(TempFolder::LongForm(Widen(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  TempFolder folder{GetParam()};
};

TEST_P(FilesTest, WrittenFile_ReadsBackWithItsLength) {
  const std::string path = folder.Utf8("set.ini");
  const Bytes record{0x50, 0x0D, 0x0A, 0x01, 0x0D, 0x0A, 0x77, 0x0D, 0x0A, 'F', '8', ' ', ' '};
  ASSERT_EQ(p.WriteFile(path, record), Status::Ok) << path.size();
  EXPECT_EQ(Contents(path), record);
  EXPECT_EQ(p.FileLength(path), static_cast<std::int64_t>(record.size()));
  Bytes read(record.size(), 0);
  EXPECT_EQ(p.ReadFile(path, read), record.size());
  EXPECT_EQ(read, record);
}

TEST_P(FilesTest, ReadFile_FirstBytesShortAtTheEndTailUntouched) {
  const std::string path = folder.Utf8("set.ini");
  ASSERT_EQ(p.WriteFile(path, Bytes{1, 2, 3, 4, 5, 6}), Status::Ok);
  const struct {
    std::size_t room;
    std::size_t read;
    Bytes after;
  } cases[] = {
      {0, 0, {}},
      {2, 2, {1, 2}},
      {6, 6, {1, 2, 3, 4, 5, 6}},
      {9, 6, {1, 2, 3, 4, 5, 6, 0x20, 0x20, 0x20}},
  };
  for (const auto& c : cases) {
    Bytes into(c.room, 0x20);
    EXPECT_EQ(p.ReadFile(path, into), c.read) << c.room;
    EXPECT_EQ(into, c.after) << c.room;
  }
}

TEST_P(FilesTest, MissingFileAndFolder_NoLengthNoReadNoDelete) {
  const std::string missing = folder.Utf8("set.ini");
  Bytes into(4, 0x20);
  EXPECT_EQ(p.FileLength(missing), std::nullopt);
  EXPECT_EQ(p.ReadFile(missing, into), std::nullopt);
  EXPECT_EQ(into, Bytes(4, 0x20));
  EXPECT_EQ(p.DeleteFile(missing), Status::Failed);
  EXPECT_EQ(p.WriteFile(folder.Utf8("нет\\set.ini"), Bytes{1}), Status::Failed);
  EXPECT_EQ(p.FileLength(folder.Utf8()), std::nullopt) << "a folder has no length";
}

TEST_P(FilesTest, WriteFile_OverLongerFile_Truncated) {
  const std::string path = folder.Utf8("set.ini");
  ASSERT_EQ(p.WriteFile(path, Bytes(40, 'x')), Status::Ok);
  ASSERT_EQ(p.WriteFile(path, Bytes{'F', '8'}), Status::Ok);
  EXPECT_EQ(Contents(path), (Bytes{'F', '8'}));
}

TEST_P(FilesTest, WriteFile_OverAFolder_Fails) {
  const std::string path = folder.Utf8("set.ini.new");
  ASSERT_EQ(p.CreateFolder(path), Status::Ok);
  EXPECT_EQ(p.WriteFile(path, Bytes{1}), Status::Failed);
}

TEST_P(FilesTest, CreateFolder_NewExistingOrWithoutParent) {
  const std::string pic = folder.Utf8("pic");
  EXPECT_EQ(p.CreateFolder(pic), Status::Ok);
  EXPECT_TRUE(IsFolder(pic));
  EXPECT_EQ(p.CreateFolder(pic), Status::Failed);
  EXPECT_EQ(p.CreateFolder(folder.Utf8("нет\\pic")), Status::Failed);
}

TEST_P(FilesTest, ReplaceFile_OverExistingOrNothing_TargetHoldsSourceSourceGone) {
  const std::string source = folder.Utf8("set.ini.new");
  const std::string target = folder.Utf8("set.ini");
  for (const bool targetExists : {true, false}) {
    if (targetExists) {
      ASSERT_EQ(p.WriteFile(target, Bytes(40, 'o')), Status::Ok);
    }
    ASSERT_EQ(p.WriteFile(source, Bytes{'n', 'e', 'w'}), Status::Ok);
    EXPECT_EQ(p.ReplaceFile(source, target), Status::Ok) << targetExists;
    EXPECT_EQ(p.FileLength(source), std::nullopt) << targetExists;
    EXPECT_EQ(Contents(target), (Bytes{'n', 'e', 'w'})) << targetExists;
    ASSERT_EQ(p.DeleteFile(target), Status::Ok);
  }
}

TEST_P(FilesTest, ReplaceFile_MissingSource_FailsAndKeepsTarget) {
  const std::string target = folder.Utf8("set.ini");
  ASSERT_EQ(p.WriteFile(target, Bytes{'o', 'l', 'd'}), Status::Ok);
  EXPECT_EQ(p.ReplaceFile(folder.Utf8("set.ini.new"), target), Status::Failed);
  EXPECT_EQ(Contents(target), (Bytes{'o', 'l', 'd'}));
}

TEST_P(FilesTest, DeleteFile_Existing_Gone) {
  const std::string path = folder.Utf8("07.12.2026_05.12.21_1.jpg");
  ASSERT_EQ(p.WriteFile(path, Bytes{0xFF, 0xD8}), Status::Ok);
  EXPECT_EQ(p.DeleteFile(path), Status::Ok);
  EXPECT_EQ(p.FileLength(path), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Folders, FilesTest,
                         ::testing::Values(TempFolder::Depth::Shallow, TempFolder::Depth::Deep),
                         [](const auto& info) {
                           return info.param == TempFolder::Depth::Deep ? "LongerThanMaxPath"
                                                                        : "Cyrillic";
                         });

TEST(SystemPath, Paths_LongAbsoluteOnesInTheirLongForm) {
  const std::string longTail(300, 'a');
  const struct {
    std::string path;
    std::wstring system;
  } cases[] = {
      {"C:\\Tools\\pic", L"C:\\Tools\\pic"},
      {"C:\\" + longTail, L"\\\\?\\C:\\" + std::wstring(300, L'a')},
      {"C:/" + longTail + "/pic", L"\\\\?\\C:\\" + std::wstring(300, L'a') + L"\\pic"},
      {"\\\\server\\share\\" + longTail, L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'a')},
      {"\\\\?\\C:\\" + longTail, L"\\\\?\\C:\\" + std::wstring(300, L'a')},
      {longTail, std::wstring(300, L'a')},  // relative: the system's to resolve
      {"D:\\Снимки\\pic", L"D:\\\x0421\x043D\x0438\x043C\x043A\x0438\\pic"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SystemPath(c.path), c.system) << c.path;
  }
}

}  // namespace
}  // namespace snapwick::win32
