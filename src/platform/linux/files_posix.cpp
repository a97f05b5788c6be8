#include "platform/linux/files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/unique_fd.h"

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

}  // namespace

std::optional<std::int64_t> FileLength(std::string_view path) {
  struct stat st {};
  if (::stat(std::string(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

bool Exists(std::string_view path) {
  struct stat st {};
  return ::lstat(std::string(path).c_str(), &st) == 0;
}

Status CreateFolder(std::string_view path) {
  // The permissions that the user's umask leaves, as for any new folder.
  return StatusOf(::mkdir(std::string(path).c_str(), 0777) == 0);
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

std::optional<std::size_t> ReadFile(std::string_view path, std::span<std::uint8_t> into) {
  UniqueFd file(::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.Valid()) return std::nullopt;
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t n = ::read(file.Get(), into.data() + done, into.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

Status WriteFile(std::string_view path, std::span<const std::uint8_t> bytes, bool onlyNew) {
  const std::span<const std::uint8_t> parts[] = {bytes};
  return WriteFileParts(path, parts, onlyNew);
}

Status WriteFileParts(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                      bool onlyNew) {
  // Never through a link, and never waiting for the reader of a pipe that
  // holds the name (open would block the whole program).
  const int flags =
      O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (onlyNew ? O_EXCL : O_TRUNC);
  UniqueFd file(::open(std::string(path).c_str(), flags, 0644));
  if (!file.Valid()) return Status::Failed;
  std::vector<iovec> left;
  for (const auto& part : parts) {
    if (!part.empty()) left.push_back({const_cast<std::uint8_t*>(part.data()), part.size()});
  }
  std::size_t first = 0;
  while (first < left.size()) {
    const ssize_t n = ::writev(file.Get(), &left[first], static_cast<int>(left.size() - first));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Status::Failed;
    // A short write: go on where the system stopped.
    auto done = static_cast<std::size_t>(n);
    while (first < left.size() && done >= left[first].iov_len) done -= left[first++].iov_len;
    if (first < left.size()) {
      left[first].iov_base = static_cast<std::uint8_t*>(left[first].iov_base) + done;
      left[first].iov_len -= done;
    }
  }
  // A full disk on some file systems (NFS) shows only at the close.
  return StatusOf(file.Close());
}

}  // namespace snapwick::linux
