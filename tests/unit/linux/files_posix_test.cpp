#include "platform/linux/files_posix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <vector>

#include "temp_folder.h"

namespace snapwick::linux {
namespace {

using testing::TempFolder;

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Exists, AnythingAtThePath_LinksToNowhereAndPipesToo) {
  TempFolder dir;
  Put(dir / "file", "x");
  ::mkdir((dir / "folder").c_str(), 0755);
  ::symlink((dir / "missing").c_str(), (dir / "dangling").c_str());
  ::mkfifo((dir / "pipe").c_str(), 0644);
  for (const char* name : {"file", "folder", "dangling", "pipe"}) {
    EXPECT_TRUE(Exists(dir / name)) << name;
  }
  EXPECT_FALSE(Exists(dir / "missing"));
}

// A shot goes only to a name of its own: whatever holds it is left alone,
// a link does not lead the file elsewhere, and a pipe does not hang the
// program waiting for a reader.
TEST(WriteFile, OnlyNew_NameTakenByAnything_FailsAndTouchesNothing) {
  TempFolder dir;
  Put(dir / "file", "old");
  ::symlink((dir / "elsewhere").c_str(), (dir / "dangling").c_str());
  ::mkfifo((dir / "pipe").c_str(), 0644);
  for (const char* name : {"file", "dangling", "pipe"}) {
    EXPECT_EQ(WriteFile(dir / name, Bytes("shot"), true), Status::Failed) << name;
  }
  EXPECT_EQ(Contents(dir / "file"), "old");
  EXPECT_FALSE(Exists(dir / "elsewhere"));
  EXPECT_EQ(WriteFile(dir / "new", Bytes("shot"), true), Status::Ok);
  EXPECT_EQ(Contents(dir / "new"), "shot");
}

TEST(WriteFile, PipeOrLinkHoldingATemporaryName_FailsAtOnce) {
  TempFolder dir;
  ::mkfifo((dir / "pipe").c_str(), 0644);
  ::symlink((dir / "elsewhere").c_str(), (dir / "dangling").c_str());
  EXPECT_EQ(WriteFile(dir / "pipe", Bytes("record")), Status::Failed);
  EXPECT_EQ(WriteFile(dir / "dangling", Bytes("record")), Status::Failed);
  EXPECT_FALSE(Exists(dir / "elsewhere"));
}

TEST(FileLength, WhatIsThere_LengthOfRegularFilesOnly) {
  TempFolder dir;
  Put(dir / "empty", "");
  Put(dir / "seven", "1234567");
  ::mkdir((dir / "folder").c_str(), 0755);
  const struct {
    std::string path;
    std::optional<std::int64_t> length;
  } cases[] = {
      {dir / "empty", 0},
      {dir / "seven", 7},
      {dir / "folder", std::nullopt},
      {dir / "missing", std::nullopt},
      {dir / "missing/deeper", std::nullopt},
      {"/dev/null", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FileLength(c.path), c.length) << c.path;
}

TEST(CreateFolder, NewExistingOrWithoutParent_OnlyANewOneSucceeds) {
  TempFolder dir;
  EXPECT_EQ(CreateFolder(dir / "pic"), Status::Ok);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "pic").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(CreateFolder(dir / "pic"), Status::Failed);
  EXPECT_EQ(CreateFolder(dir / "no/pic"), Status::Failed);
}

TEST(DeleteFile, FileFolderOrNothing_OnlyAFileIsDeleted) {
  TempFolder dir;
  Put(dir / "shot.jpg", "x");
  ::mkdir((dir / "pic").c_str(), 0755);
  EXPECT_EQ(DeleteFile(dir / "shot.jpg"), Status::Ok);
  EXPECT_FALSE(FileLength(dir / "shot.jpg"));
  EXPECT_EQ(DeleteFile(dir / "shot.jpg"), Status::Failed);
  EXPECT_EQ(DeleteFile(dir / "pic"), Status::Failed);
  struct stat st {};
  EXPECT_EQ(::stat((dir / "pic").c_str(), &st), 0);
}

TEST(ReplaceFile, OverAnOldFileOrNone_NewContentsAndNoSourceLeft) {
  for (const bool oldThere : {false, true}) {
    TempFolder dir;
    if (oldThere) Put(dir / "set.ini", "old contents, longer than the new");
    Put(dir / "set.ini.new", "new");
    EXPECT_EQ(ReplaceFile(dir / "set.ini.new", dir / "set.ini"), Status::Ok) << oldThere;
    EXPECT_EQ(Contents(dir / "set.ini"), "new") << oldThere;
    EXPECT_FALSE(FileLength(dir / "set.ini.new")) << oldThere;
  }
}

TEST(ReplaceFile, SourceMissingOrTargetAFolder_FailsAndKeepsTheTarget) {
  TempFolder dir;
  Put(dir / "set.ini", "old");
  EXPECT_EQ(ReplaceFile(dir / "set.ini.new", dir / "set.ini"), Status::Failed);
  EXPECT_EQ(Contents(dir / "set.ini"), "old");

  ::mkdir((dir / "taken").c_str(), 0755);
  Put(dir / "taken/inside", "");
  Put(dir / "source", "new");
  EXPECT_EQ(ReplaceFile(dir / "source", dir / "taken"), Status::Failed);
  EXPECT_EQ(Contents(dir / "source"), "new");
}

TEST(ReadFile, BufferLargerOrSmallerThanTheFile_ReadsWhatFitsAndLeavesTheRest) {
  TempFolder dir;
  Put(dir / "five", "abcde");
  const struct {
    std::size_t buffer;
    std::size_t read;
    std::string expected;  // the whole buffer afterwards, '.' where untouched
  } cases[] = {
      {0, 0, ""},
      {3, 3, "abc"},
      {5, 5, "abcde"},
      {8, 5, "abcde..."},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> buffer(c.buffer, '.');
    EXPECT_EQ(ReadFile(dir / "five", buffer), c.read) << c.buffer;
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), c.expected) << c.buffer;
  }
}

TEST(ReadFile, MissingFileOrFolder_Nothing) {
  TempFolder dir;
  std::array<std::uint8_t, 4> buffer{};
  EXPECT_FALSE(ReadFile(dir / "missing", buffer));
  EXPECT_FALSE(ReadFile(dir.Path(), buffer));
}

TEST(WriteFile, NewOrLongerOldFile_HoldsExactlyTheBytes) {
  TempFolder dir;
  Put(dir / "old", "a much longer old content");
  for (const std::string name : {"new", "old"}) {
    EXPECT_EQ(WriteFile(dir / name, Bytes("29 bytes of a settings record")), Status::Ok) << name;
    EXPECT_EQ(Contents(dir / name), "29 bytes of a settings record") << name;
  }
}

TEST(WriteFile, NoFolderReadOnlyFolderOrFullDisk_Fails) {
  TempFolder dir;
  EXPECT_EQ(WriteFile(dir / "missing/file", Bytes("x")), Status::Failed);
  if (::geteuid() != 0) {  // root writes into read-only folders
    ::mkdir((dir / "ro").c_str(), 0555);
    EXPECT_EQ(WriteFile(dir / "ro/file", Bytes("x")), Status::Failed);
  }
  EXPECT_EQ(WriteFile("/dev/full", Bytes("no room")), Status::Failed);
}

}  // namespace
}  // namespace snapwick::linux
