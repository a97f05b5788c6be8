// The executable's folder and the single-instance test.

#include <gtest/gtest.h>

#include "platform/win32/exe_folder_win.h"
#include "platform/win32/single_instance_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

TEST(FolderOfPath, FileInFolderOrAtRoot_NoTrailingBackslashExceptAtRoot) {
  const struct {
    const wchar_t* path;
    const wchar_t* folder;
  } cases[] = {
      {L"C:\\Tools\\snapwick.exe", L"C:\\Tools"},
      {L"E:\\snapwick.exe", L"E:\\"},
      {L"D:\\Снимки экрана\\Snapwick\\snapwick.exe", L"D:\\Снимки экрана\\Snapwick"},
      {L"\\\\server\\share\\snapwick.exe", L"\\\\server\\share"},
      {L"\\\\?\\E:\\snapwick.exe", L"\\\\?\\E:\\"},
      {L"snapwick.exe", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOfPath(c.path), c.folder) << Narrow(c.path);
  }
}

TEST(ProgramFolder, TestProgram_FolderThatHoldsIt) {
  Win32Platform p(::GetModuleHandleW(nullptr));
  const auto folder = p.ProgramFolder();
  ASSERT_TRUE(folder);
  ASSERT_FALSE(folder->empty());
  const auto path = ModulePath(nullptr);
  ASSERT_TRUE(path);
  const std::string name = Narrow(path->substr(path->find_last_of(L'\\') + 1));
  const std::string separator = folder->back() == '\\' ? "" : "\\";
  std::uint8_t head[2] = {};
  const auto read = p.ReadFile(*folder + separator + name, head);
  ASSERT_TRUE(read) << *folder << " " << name;
  EXPECT_GT(read->length, 0);
  EXPECT_EQ(head[0], 'M');  // an executable begins with "MZ"
  EXPECT_EQ(head[1], 'Z');
}

std::wstring UniqueName() {
  return L"Local\\SnapwickTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::GetTickCount64());
}

TEST(SingleInstance, SecondWhileFirstHeld_SeesAnother) {
  const std::wstring name = UniqueName();
  SingleInstance first(name);
  EXPECT_FALSE(first.AnotherRunning());
  SingleInstance second(name);
  EXPECT_TRUE(second.AnotherRunning());
  // The first keeps its answer and its mutex.
  EXPECT_FALSE(first.AnotherRunning());
  SingleInstance third(name);
  EXPECT_TRUE(third.AnotherRunning());
}

TEST(SingleInstance, FirstEnded_NextStartsAlone) {
  const std::wstring name = UniqueName();
  {
    SingleInstance first(name);
    EXPECT_FALSE(first.AnotherRunning());
  }
  SingleInstance next(name);
  EXPECT_FALSE(next.AnotherRunning());
}

}  // namespace
}  // namespace snapwick::win32
