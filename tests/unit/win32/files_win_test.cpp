// Files and folders through the platform, in a folder with Cyrillic letters
// and in one whose path is longer than MAX_PATH: settings read and
// replaced, shots written only to new names and never left in part, and
// what start-up clears from the shot folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/temp_files.h"
#include "platform/win32/files_win.h"
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
  static DWORD Attributes(const std::string& path) {
    return ::GetFileAttributesW(TempFolder::LongForm(Widen(path)).c_str());
  }
  static bool IsFolder(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  static bool Exists(const std::string& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
  }
  static bool MakeFolder(const std::string& path) {
    return ::CreateDirectoryW(TempFolder::LongForm(Widen(path)).c_str(), nullptr) != FALSE;
  }
  // The names in the folder, "." and ".." left out.
  std::vector<std::string> Names(const std::string& path) const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(TempFolder::LongForm(Widen(path + "\\*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }
  NewFile WriteNew(const std::string& path, const Bytes& head, const Bytes& tail) {
    const std::span<const std::uint8_t> parts[] = {head, tail};
    return p.WriteNewFile(path, parts);
  }

  Win32Platform p{::GetModuleHandleW(nullptr)};
  TempFolder folder{GetParam()};
};

TEST_P(FilesTest, WrittenFile_ReadsBackWithItsLength) {
  const std::string path = folder.Utf8("set.ini");
  const Bytes record{0x50, 0x0D, 0x0A, 0x01, 0x0D, 0x0A, 0x77, 0x0D, 0x0A, 'F', '8', ' ', ' '};
  ASSERT_EQ(p.WriteFile(path, record), Status::Ok) << path.size();
  EXPECT_EQ(Contents(path), record);
  Bytes read(record.size(), 0);
  const auto head = p.ReadFile(path, read);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->read, record.size());
  EXPECT_EQ(head->length, static_cast<std::int64_t>(record.size()));
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
    const auto head = p.ReadFile(path, into);
    ASSERT_TRUE(head) << c.room;
    EXPECT_EQ(head->read, c.read) << c.room;
    EXPECT_EQ(head->length, 6) << "the whole file's length, whatever was read";
    EXPECT_EQ(into, c.after) << c.room;
  }
}

TEST_P(FilesTest, MissingFileAndFolder_NoReadNoDelete) {
  const std::string missing = folder.Utf8("set.ini");
  Bytes into(4, 0x20);
  EXPECT_EQ(p.ReadFile(missing, into), std::nullopt);
  EXPECT_EQ(into, Bytes(4, 0x20));
  EXPECT_EQ(p.DeleteFile(missing), Status::Failed);
  EXPECT_EQ(p.WriteFile(folder.Utf8("нет\\set.ini"), Bytes{1}), Status::Failed);
  EXPECT_EQ(p.ReadFile(folder.Utf8(), into), std::nullopt) << "a folder read as a file";
}

TEST_P(FilesTest, WriteFile_OverLongerFile_Truncated) {
  const std::string path = folder.Utf8("set.ini");
  ASSERT_EQ(p.WriteFile(path, Bytes(40, 'x')), Status::Ok);
  ASSERT_EQ(p.WriteFile(path, Bytes{'F', '8'}), Status::Ok);
  EXPECT_EQ(Contents(path), (Bytes{'F', '8'}));
}

TEST_P(FilesTest, WriteFile_OverAFolder_Fails) {
  const std::string path = folder.Utf8("set.ini.new");
  ASSERT_TRUE(MakeFolder(path));
  EXPECT_EQ(p.WriteFile(path, Bytes{1}), Status::Failed);
}

TEST_P(FilesTest, PrepareFolder_MadeOrThere_FailsWithoutParentOrForAFile) {
  const std::string pic = folder.Utf8("pic");
  EXPECT_EQ(p.PrepareFolder(pic), Status::Ok);
  EXPECT_TRUE(IsFolder(pic));
  EXPECT_EQ(p.PrepareFolder(pic), Status::Ok) << "a folder that is there already";
  EXPECT_EQ(p.PrepareFolder(folder.Utf8("нет\\pic")), Status::Failed);
  const std::string file = folder.Utf8("pic2");
  ASSERT_EQ(p.WriteFile(file, Bytes{1}), Status::Ok);
  EXPECT_EQ(p.PrepareFolder(file), Status::Failed);
  EXPECT_EQ(Contents(file), Bytes{1});
}

TEST_P(FilesTest, PrepareFolder_RemovesPartialFilesOnly) {
  const std::string pic = folder.Utf8("pic");
  ASSERT_EQ(p.PrepareFolder(pic), Status::Ok);
  const std::vector<std::string> kept = {
      "07.12.2026_05.12.21_1.jpg",
      ".snapwick-0000123400000007.jpg",  // not the partial files' extension
      "notes.part",
  };
  for (const std::string& name : kept)
    ASSERT_EQ(p.WriteFile(pic + "\\" + name, Bytes{1}), Status::Ok);
  ASSERT_EQ(p.WriteFile(pic + "\\" + TempFileName(0x1234, 7), Bytes(300, 7)), Status::Ok);
  ASSERT_EQ(p.WriteFile(pic + "\\" + TempFileName(0xFFFFFFFF, 0), Bytes{}), Status::Ok);
  // A folder of that name is not what a write left.
  const std::string partialFolder = TempFileName(1, 1);
  ASSERT_TRUE(MakeFolder(pic + "\\" + partialFolder));

  EXPECT_EQ(p.PrepareFolder(pic), Status::Ok);
  std::vector<std::string> want = kept;
  want.push_back(partialFolder);
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Names(pic), want);
}

TEST_P(FilesTest, WriteNewFile_PartsInOrderUnderTheNameNothingElseLeft) {
  const std::string pic = folder.Utf8("pic");
  ASSERT_EQ(p.PrepareFolder(pic), Status::Ok);
  const std::string shot = pic + "\\07.12.2026_05.12.21_1.jpg";
  EXPECT_EQ(WriteNew(shot, Bytes{0xFF, 0xD8, 1}, Bytes{2, 0xFF, 0xD9}), NewFile::Written);
  EXPECT_EQ(Contents(shot), (Bytes{0xFF, 0xD8, 1, 2, 0xFF, 0xD9}));
  EXPECT_FALSE(Attributes(shot) & FILE_ATTRIBUTE_HIDDEN) << "the shot stayed hidden";
  EXPECT_EQ(Names(pic), std::vector<std::string>{"07.12.2026_05.12.21_1.jpg"});
  // Flushed to the disk first: the same file.
  p.SetShotDurability(Durability::Flushed);
  const std::string second = pic + "\\07.12.2026_05.12.21_2.jpg";
  EXPECT_EQ(WriteNew(second, Bytes{1}, Bytes{}), NewFile::Written);
  EXPECT_EQ(Contents(second), Bytes{1});
  EXPECT_EQ(Names(pic).size(), 2u);
}

TEST_P(FilesTest, WriteNewFile_NameTakenByAFileOrAFolder_LeftAloneNothingMore) {
  const std::string pic = folder.Utf8("pic");
  ASSERT_EQ(p.PrepareFolder(pic), Status::Ok);
  const std::string byFile = pic + "\\07.12.2026_05.12.21_1.jpg";
  const std::string byFolder = pic + "\\07.12.2026_05.12.21_2.jpg";
  ASSERT_EQ(p.WriteFile(byFile, Bytes{'o', 'l', 'd'}), Status::Ok);
  ASSERT_TRUE(MakeFolder(byFolder));
  ASSERT_EQ(p.WriteFile(byFolder + "\\inside", Bytes{9}), Status::Ok);
  for (const std::string& taken : {byFile, byFolder}) {
    EXPECT_EQ(WriteNew(taken, Bytes(5000, 1), Bytes(5000, 2)), NewFile::NameTaken) << taken;
  }
  EXPECT_EQ(Contents(byFile), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(Contents(byFolder + "\\inside"), Bytes{9});
  EXPECT_EQ(Names(pic),
            (std::vector<std::string>{"07.12.2026_05.12.21_1.jpg", "07.12.2026_05.12.21_2.jpg"}));
}

TEST_P(FilesTest, WriteNewFile_CannotWrite_FailedAndNothingLeft) {
  const std::string pic = folder.Utf8("pic");
  EXPECT_EQ(WriteNew(pic + "\\1.jpg", Bytes{1}, Bytes{2}), NewFile::Failed) << "no folder";
  EXPECT_FALSE(Exists(pic));
  ASSERT_EQ(p.PrepareFolder(pic), Status::Ok);
  // A shot's name that is no file's name: the move fails, and the partial
  // file made for it goes again.
  EXPECT_EQ(WriteNew(pic + "\\a\"b.jpg", Bytes{1}, Bytes{2}), NewFile::Failed);
  EXPECT_EQ(WriteNew(pic + "\\missing\\1.jpg", Bytes{1}, Bytes{2}), NewFile::Failed);
  EXPECT_TRUE(Names(pic).empty()) << ::testing::PrintToString(Names(pic));
}

BOOL WINAPI RefuseFileInformation(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
  ::SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// A file system that will not make a hidden file visible: the shot is
// still written whole, and not hidden, and a taken name is still left
// alone.
TEST_P(FilesTest, WriteNewFile_AttributesRefused_VisibleShotNothingElseLeft) {
  SystemCalls calls;
  calls.files.setFileInformationByHandle = &RefuseFileInformation;
  Win32Platform refusing{::GetModuleHandleW(nullptr), calls};
  const std::string pic = folder.Utf8("pic");
  ASSERT_EQ(p.PrepareFolder(pic), Status::Ok);
  const std::string shot = pic + "\\07.12.2026_05.12.21_1.jpg";
  const Bytes head{0xFF, 0xD8, 1};
  const Bytes tail{2, 0xFF, 0xD9};
  const std::span<const std::uint8_t> parts[] = {head, tail};
  for (const NewFile expected : {NewFile::Written, NewFile::NameTaken}) {
    EXPECT_EQ(refusing.WriteNewFile(shot, parts), expected);
    EXPECT_EQ(Contents(shot), (Bytes{0xFF, 0xD8, 1, 2, 0xFF, 0xD9}));
    EXPECT_FALSE(Attributes(shot) & FILE_ATTRIBUTE_HIDDEN) << "the shot stayed hidden";
    EXPECT_EQ(Names(pic), std::vector<std::string>{"07.12.2026_05.12.21_1.jpg"});
  }
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
    EXPECT_FALSE(Exists(source)) << targetExists;
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
  EXPECT_FALSE(Exists(path));
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
