#include "platform/linux/files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/unique_fd.h"
#include "platform/temp_files.h"

namespace snapwick::linux {
namespace {

// File systems that cannot flush (some FUSE and network ones) say EINVAL;
// there is nothing more to do for the data there.
bool Flush(int fd) { return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS; }

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::span<const std::span<const std::uint8_t>> parts) {
  std::vector<iovec> left;
  for (const auto& part : parts) {
    if (!part.empty()) left.push_back({const_cast<std::uint8_t*>(part.data()), part.size()});
  }
  std::size_t first = 0;
  while (first < left.size()) {
    const ssize_t n = ::writev(fd, &left[first], static_cast<int>(left.size() - first));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    // A short write: go on where the system stopped.
    auto done = static_cast<std::size_t>(n);
    while (first < left.size() && done >= left[first].iov_len) done -= left[first++].iov_len;
    if (first < left.size()) {
      left[first].iov_base = static_cast<std::uint8_t*>(left[first].iov_base) + done;
      left[first].iov_len -= done;
    }
  }
  return true;
}

NewFile Taken(bool taken) { return taken ? NewFile::NameTaken : NewFile::Failed; }

// The file is whole in `file`; gives it its name, by its descriptor or
// else through /proc. A kernel before 6.10 links a descriptor only for a
// process with CAP_DAC_READ_SEARCH, and a container may have no /proc:
// nothing when neither way links here. Nothing is at the name unless this
// returns Written.
std::optional<NewFile> LinkUnnamed(int folder, UniqueFd& file, const std::string& name,
                                   const NewFileCalls& calls) {
  if (calls.linkAt(file.Get(), "", folder, name.c_str(), AT_EMPTY_PATH) != 0) {
    if (errno == EEXIST) return NewFile::NameTaken;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.Get());
    if (calls.linkAt(AT_FDCWD, self, folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      // Whatever else failed, the named way either works or fails for
      // the folder's own reason.
      if (errno == EEXIST) return NewFile::NameTaken;
      return std::nullopt;
    }
  }
  // A full disk on some file systems shows only at the close.
  if (!file.Close()) {
    ::unlinkat(folder, name.c_str(), 0);
    return NewFile::Failed;
  }
  return NewFile::Written;
}

// The way of file systems without unnamed files, and of processes that
// cannot link them.
NewFile WriteNamedTemp(int folder, const std::string& name,
                       std::span<const std::span<const std::uint8_t>> parts, bool flush) {
  std::string temp;
  UniqueFd file;
  for (int attempt = 0; attempt < 16 && !file.Valid(); ++attempt) {
    temp = NextTempFileName(static_cast<std::uint32_t>(::getpid()));
    file.Reset(::openat(folder, temp.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!file.Valid() && errno != EEXIST) return NewFile::Failed;
  }
  if (!file.Valid()) return NewFile::Failed;
  auto drop = [&](NewFile result) {
    ::unlinkat(folder, temp.c_str(), 0);
    return result;
  };
  if (!WriteAll(file.Get(), parts) || (flush && !Flush(file.Get())) || !file.Close()) {
    return drop(NewFile::Failed);
  }
  if (::renameat2(folder, temp.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0) {
    return NewFile::Written;
  }
  if (errno == EEXIST) return drop(NewFile::NameTaken);
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return drop(NewFile::Failed);
  // No rename that keeps what holds the name: a second link, then the
  // temporary name goes.
  if (::linkat(folder, temp.c_str(), folder, name.c_str(), 0) != 0) {
    return drop(Taken(errno == EEXIST));
  }
  ::unlinkat(folder, temp.c_str(), 0);
  return NewFile::Written;
}

}  // namespace

Status PrepareFolder(std::string_view path) {
  const std::string folder(path);
  // The permissions that the user's umask leaves, as for any new folder.
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return Status::Failed;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::Failed;
  // The listing takes the descriptor, and closedir closes it.
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return Status::Ok;
  }
  while (const dirent* entry = ::readdir(dir)) {
    // The name first, so that the shots in the folder cost no look each.
    if (!IsLeftoverTempFile(entry->d_name, EntryKind::File)) continue;
    struct stat st {};
    const bool file =
        ::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    if (IsLeftoverTempFile(entry->d_name, file ? EntryKind::File : EntryKind::Other)) {
      ::unlinkat(fd, entry->d_name, 0);
    }
  }
  ::closedir(dir);
  return Status::Ok;
}

Status DeleteFile(std::string_view path) {
  return StatusOf(::unlink(std::string(path).c_str()) == 0);
}

Status ReplaceFile(std::string_view from, std::string_view to) {
  const std::string source(from);
  const std::string target(to);
  {
    UniqueFd file(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid() || !Flush(file.Get())) return Status::Failed;
  }
  if (::rename(source.c_str(), target.c_str()) != 0) return Status::Failed;
  // The new name is on the disk only once its folder is; the file is in
  // place whatever this says, so its failure is not the caller's to handle.
  UniqueFd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Valid()) Flush(folder.Get());
  return Status::Ok;
}

std::optional<FileHead> ReadFile(std::string_view path, std::span<std::uint8_t> into) {
  // Not blocking on a pipe that holds the name.
  UniqueFd file(::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!file.Valid() || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  FileHead head;
  head.length = static_cast<std::int64_t>(st.st_size);
  while (head.read < into.size()) {
    const ssize_t n = ::read(file.Get(), into.data() + head.read, into.size() - head.read);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    head.read += static_cast<std::size_t>(n);
  }
  return head;
}

Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  // Never through a link, and never waiting for the reader of a pipe that
  // holds the name (open would block the whole program).
  UniqueFd file(::open(std::string(path).c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
  if (!file.Valid()) return Status::Failed;
  const std::span<const std::uint8_t> parts[] = {bytes};
  if (!WriteAll(file.Get(), parts)) return Status::Failed;
  return StatusOf(file.Close());
}

NewFile WriteNewFile(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                     NewFileWay way, bool flush, const NewFileCalls& calls) {
  const std::string full(path);
  const std::string name = NameOf(full);
  if (name.empty() || name == "." || name == "..") return NewFile::Failed;
  UniqueFd folder(::open(FolderOf(full).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) return NewFile::Failed;
  if (way == NewFileWay::Unnamed) {
    UniqueFd file(::openat(folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644));
    if (file.Valid()) {
      // Unnamed, the file goes with its descriptor on any failure.
      if (!WriteAll(file.Get(), parts) || (flush && !Flush(file.Get()))) return NewFile::Failed;
      if (const auto linked = LinkUnnamed(folder.Get(), file, name, calls)) {
        if (*linked == NewFile::Written && flush) Flush(folder.Get());
        return *linked;
      }
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      // Only a file system without unnamed files goes the other way; a
      // folder that cannot be written to fails either way.
      return NewFile::Failed;
    }
  }
  const NewFile named = WriteNamedTemp(folder.Get(), name, parts, flush);
  if (named == NewFile::Written && flush) Flush(folder.Get());
  return named;
}

}  // namespace snapwick::linux
