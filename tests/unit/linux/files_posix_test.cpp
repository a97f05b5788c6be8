#include "platform/linux/files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/temp_files.h"
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

// Anything at the path, a link that leads nowhere included.
bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(dir);
  }
  return names;
}

// A shot as the encoder hands it over: several parts, one of them empty.
struct Shot {
  std::string head = "\xFF\xD8 top strip ";
  std::string tail = "bottom strip \xFF\xD9";
  std::array<std::span<const std::uint8_t>, 3> parts{Bytes(head), {}, Bytes(tail)};
  std::string Whole() const { return head + tail; }
};

// A kernel before 6.10 refuses to link a descriptor to a process without
// CAP_DAC_READ_SEARCH, as if the path were not there.
int LinkWithoutCapability(int fromFolder, const char* from, int toFolder, const char* to,
                          int flags) {
  if (flags & AT_EMPTY_PATH) {
    errno = ENOENT;
    return -1;
  }
  return ::linkat(fromFolder, from, toFolder, to, flags);
}

// ... and a container may have no /proc.
int LinkWithoutCapabilityOrProc(int fromFolder, const char* from, int toFolder, const char* to,
                                int flags) {
  if (std::string_view(from).starts_with("/proc/")) {
    errno = ENOENT;
    return -1;
  }
  return LinkWithoutCapability(fromFolder, from, toFolder, to, flags);
}

// Every way a shot comes to its name.
struct Way {
  const char* name;
  NewFileWay way;
  NewFileCalls calls;

  NewFile Write(const std::string& path, std::span<const std::span<const std::uint8_t>> parts,
                bool flush = kFlushNewFiles) const {
    return WriteNewFile(path, parts, way, flush, calls);
  }
};

const Way kWays[] = {
    {"unnamed", NewFileWay::Unnamed, {}},
    {"unnamed, linked through /proc", NewFileWay::Unnamed, {&LinkWithoutCapability}},
    {"unnamed, no link (named instead)", NewFileWay::Unnamed, {&LinkWithoutCapabilityOrProc}},
    {"named", NewFileWay::NamedTemp, {}},
};

TEST(WriteNewFile, FreeName_TheWholeFileAndNothingElseInTheFolder) {
  for (const Way& way : kWays) {
    for (const bool flush : {false, true}) {
      TempFolder dir;
      const Shot shot;
      EXPECT_EQ(way.Write(dir / "01.02.2026_10.20.30_1.jpg", shot.parts, flush), NewFile::Written)
          << way.name << flush;
      EXPECT_EQ(Contents(dir / "01.02.2026_10.20.30_1.jpg"), shot.Whole()) << way.name;
      EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"01.02.2026_10.20.30_1.jpg"}) << way.name;
    }
  }
}

TEST(WriteNewFile, NewFile_ModeFollowsTheUmaskAsAnyNewFile) {
  const mode_t old = ::umask(027);
  for (const Way& way : kWays) {
    TempFolder dir;
    const Shot shot;
    ASSERT_EQ(way.Write(dir / "shot.jpg", shot.parts), NewFile::Written);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "shot.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << way.name;
  }
  ::umask(old);
}

// A shot goes only to a name of its own: whatever holds it is left alone,
// a link does not lead the file elsewhere, a pipe does not hang the
// program waiting for a reader, and no temporary file stays behind.
TEST(WriteNewFile, NameTakenByAnything_NameTakenAndNothingTouched) {
  for (const Way& way : kWays) {
    TempFolder dir;
    Put(dir / "file", "old");
    ::mkdir((dir / "folder").c_str(), 0755);
    ::symlink((dir / "elsewhere").c_str(), (dir / "dangling").c_str());
    Put(dir / "target", "kept");
    ::symlink((dir / "target").c_str(), (dir / "link").c_str());
    ::mkfifo((dir / "pipe").c_str(), 0644);
    const auto before = Names(dir.Path());
    const Shot shot;
    for (const char* name : {"file", "folder", "dangling", "link", "pipe"}) {
      EXPECT_EQ(way.Write(dir / name, shot.parts), NewFile::NameTaken) << way.name << " " << name;
    }
    EXPECT_EQ(Contents(dir / "file"), "old");
    EXPECT_EQ(Contents(dir / "target"), "kept");
    EXPECT_FALSE(Exists(dir / "elsewhere"));
    EXPECT_EQ(Names(dir.Path()), before) << way.name;
  }
}

TEST(WriteNewFile, NoFolderOrAFileForAFolder_FailedAndNothingMade) {
  for (const Way& way : kWays) {
    TempFolder dir;
    Put(dir / "pic", "a file where the folder should be");
    const Shot shot;
    EXPECT_EQ(way.Write(dir / "missing/shot.jpg", shot.parts), NewFile::Failed);
    EXPECT_EQ(way.Write(dir / "pic/shot.jpg", shot.parts), NewFile::Failed);
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"pic"}) << way.name;
  }
}

TEST(WriteNewFile, ReadOnlyFolder_FailedAndNothingMade) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  for (const Way& way : kWays) {
    TempFolder dir;
    ::mkdir((dir / "ro").c_str(), 0555);
    const Shot shot;
    EXPECT_EQ(way.Write(dir / "ro/shot.jpg", shot.parts), NewFile::Failed);
    EXPECT_TRUE(Names(dir / "ro").empty());
  }
}

// A write cut short (here by a file size limit, as a full disk would)
// leaves nothing under the shot's name nor under a temporary one.
TEST(WriteNewFile, WriteCutShort_FailedAndTheFolderAsBefore) {
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  for (const Way& way : kWays) {
    TempFolder dir;
    Put(dir / "earlier.jpg", "an earlier shot");
    const std::string big(64 * 1024, 'x');
    const std::span<const std::uint8_t> parts[] = {Bytes(big)};
    rlimit limit = old;
    limit.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const NewFile result = way.Write(dir / "shot.jpg", parts);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(result, NewFile::Failed) << way.name;
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"earlier.jpg"}) << way.name;
    EXPECT_EQ(Contents(dir / "earlier.jpg"), "an earlier shot");
  }
  std::signal(SIGXFSZ, oldHandler);
}

// The named way is what a file system without unnamed files gets.
TEST(WriteNewFile, EitherWay_TheSameBytes) {
  TempFolder dir;
  const Shot shot;
  EXPECT_EQ(WriteNewFile(dir / "a.jpg", shot.parts, NewFileWay::NamedTemp), NewFile::Written);
  EXPECT_EQ(WriteNewFile(dir / "b.jpg", shot.parts, NewFileWay::Unnamed), NewFile::Written);
  EXPECT_EQ(Contents(dir / "a.jpg"), Contents(dir / "b.jpg"));
}

TEST(PrepareFolder, Missing_MadeAndOk) {
  TempFolder dir;
  EXPECT_EQ(PrepareFolder(dir / "pic"), Status::Ok);
  EXPECT_TRUE(IsFolder(dir / "pic"));
  EXPECT_EQ(PrepareFolder(dir / "pic"), Status::Ok);
}

TEST(PrepareFolder, NoParentOrAFileInTheWay_Failed) {
  TempFolder dir;
  Put(dir / "pic", "x");
  EXPECT_EQ(PrepareFolder(dir / "no/pic"), Status::Failed);
  EXPECT_EQ(PrepareFolder(dir / "pic"), Status::Failed);
  EXPECT_EQ(Contents(dir / "pic"), "x");
}

// What a crash in the middle of a named write leaves goes at the next
// start; everything else in the folder stays, also what only looks alike.
TEST(PrepareFolder, Leftovers_OnlyTheProgramsOwnTemporaryFilesGo) {
  TempFolder dir;
  ::mkdir((dir / "pic").c_str(), 0755);
  const std::string pic = dir / "pic";
  Put(pic + "/" + TempFileName(0x1234, 7), "half a shot");
  Put(pic + "/" + TempFileName(0, 0), "");
  Put(pic + "/07.12.2026_10.00.00_1.jpg", "a shot");
  Put(pic + "/.snapwick-00001234abcdef01.jpg", "not ours");
  Put(dir / "elsewhere", "kept");
  const std::string link = TempFileName(1, 1);
  const std::string folder = TempFileName(2, 2);
  ::symlink((dir / "elsewhere").c_str(), (pic + "/" + link).c_str());
  ::mkdir((pic + "/" + folder).c_str(), 0755);
  EXPECT_EQ(PrepareFolder(pic), Status::Ok);
  EXPECT_EQ(Names(pic), (std::set<std::string>{".snapwick-00001234abcdef01.jpg", folder, link,
                                               "07.12.2026_10.00.00_1.jpg"}));
  EXPECT_EQ(Contents(dir / "elsewhere"), "kept");
}

TEST(DeleteFile, FileFolderOrNothing_OnlyAFileIsDeleted) {
  TempFolder dir;
  Put(dir / "shot.jpg", "x");
  ::mkdir((dir / "pic").c_str(), 0755);
  EXPECT_EQ(DeleteFile(dir / "shot.jpg"), Status::Ok);
  EXPECT_FALSE(Exists(dir / "shot.jpg"));
  EXPECT_EQ(DeleteFile(dir / "shot.jpg"), Status::Failed);
  EXPECT_EQ(DeleteFile(dir / "pic"), Status::Failed);
  EXPECT_TRUE(IsFolder(dir / "pic"));
}

TEST(ReplaceFile, OverAnOldFileOrNone_NewContentsAndNoSourceLeft) {
  for (const bool oldThere : {false, true}) {
    TempFolder dir;
    if (oldThere) Put(dir / "set.ini", "old contents, longer than the new");
    Put(dir / "set.ini.new", "new");
    EXPECT_EQ(ReplaceFile(dir / "set.ini.new", dir / "set.ini"), Status::Ok) << oldThere;
    EXPECT_EQ(Contents(dir / "set.ini"), "new") << oldThere;
    EXPECT_FALSE(Exists(dir / "set.ini.new")) << oldThere;
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

TEST(ReadFile, BufferLargerOrSmallerThanTheFile_ReadsWhatFitsAndTellsTheLength) {
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
    const auto head = ReadFile(dir / "five", buffer);
    ASSERT_TRUE(head) << c.buffer;
    EXPECT_EQ(head->read, c.read) << c.buffer;
    EXPECT_EQ(head->length, 5) << c.buffer;
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), c.expected) << c.buffer;
  }
}

TEST(ReadFile, MissingFolderPipeOrDevice_NothingAndNoWait) {
  TempFolder dir;
  ::mkfifo((dir / "pipe").c_str(), 0644);
  std::array<std::uint8_t, 4> buffer{};
  for (const std::string& path :
       {dir / "missing", dir.Path(), dir / "pipe", std::string("/dev/zero")}) {
    EXPECT_FALSE(ReadFile(path, buffer)) << path;
  }
}

TEST(WriteFile, NewOrLongerOldFile_HoldsExactlyTheBytes) {
  TempFolder dir;
  Put(dir / "old", "a much longer old content");
  for (const std::string name : {"new", "old"}) {
    EXPECT_EQ(WriteFile(dir / name, Bytes("29 bytes of a settings record")), Status::Ok) << name;
    EXPECT_EQ(Contents(dir / name), "29 bytes of a settings record") << name;
  }
}

TEST(WriteFile, PipeOrLinkHoldingTheName_FailsAtOnce) {
  TempFolder dir;
  ::mkfifo((dir / "pipe").c_str(), 0644);
  ::symlink((dir / "elsewhere").c_str(), (dir / "dangling").c_str());
  EXPECT_EQ(WriteFile(dir / "pipe", Bytes("record")), Status::Failed);
  EXPECT_EQ(WriteFile(dir / "dangling", Bytes("record")), Status::Failed);
  EXPECT_FALSE(Exists(dir / "elsewhere"));
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
