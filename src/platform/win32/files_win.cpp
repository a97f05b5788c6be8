// Files and folders, in their long form when a path is too long for the
// plain one.

#include "platform/win32/files_win.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/temp_files.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/text_win.h"
#include "platform/win32/win32_platform.h"

namespace snapwick::win32 {
namespace {

// One ReadFile or WriteFile moves at most this much.
constexpr std::size_t kMaxChunk = 1u << 30;
// Names of partial files taken already (by a copy of the program that
// crashed with the same process id, say) before one is free.
constexpr int kPartialNameTries = 16;

// The folder part of a UTF-8 path with its separator, or nothing for a bare
// name.
std::string_view FolderPartOf(std::string_view path) {
  const std::size_t end = path.find_last_of("\\/");
  return end == std::string_view::npos ? std::string_view() : path.substr(0, end + 1);
}

bool WriteWhole(HANDLE file, std::span<const std::uint8_t> bytes) {
  std::size_t total = 0;
  while (total < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - total, kMaxChunk));
    DWORD put = 0;
    if (!::WriteFile(file, bytes.data() + total, chunk, &put, nullptr) || put == 0) return false;
    total += put;
  }
  return true;
}

// The partial file a call made: closed, and deleted unless the call kept
// it, however the call ends.
class PartialFile {
 public:
  PartialFile(HANDLE file, std::wstring path) : file_(file), path_(std::move(path)) {}
  ~PartialFile() {
    file_.Reset();
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  HANDLE Handle() const { return file_.Get(); }
  const std::wstring& Path() const { return path_; }
  // The data may still be on its way to the disk: a close that fails has
  // lost some of it.
  bool Close() { return ::CloseHandle(file_.Detach()) != FALSE; }
  void Keep() { path_.clear(); }

 private:
  KernelHandle file_;
  std::wstring path_;
};

// Closes the search when it is done.
class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) ::FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// Writes the parts under the name of a new partial file made with
// `attributes`, and moves it to `path`. Nothing when the file stays hidden:
// the file system would not take the attributes that make it visible.
std::optional<NewFile> WriteThroughPartialFile(std::string_view path,
                                               std::span<const std::span<const std::uint8_t>> parts,
                                               Durability durability, DWORD attributes,
                                               const FileCalls& calls) {
  const std::string folder(FolderPartOf(path));
  std::optional<PartialFile> made;
  for (int i = 0; i < kPartialNameTries && !made; ++i) {
    std::wstring partial = SystemPath(folder + NextTempFileName(::GetCurrentProcessId()));
    // CREATE_NEW: a file of that name, whoever made it, is left alone.
    const HANDLE file =
        ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      made.emplace(file, std::move(partial));
    } else if (const DWORD error = ::GetLastError();
               error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return NewFile::Failed;
    }
  }
  if (!made) return NewFile::Failed;

  for (const auto part : parts) {
    if (!WriteWhole(made->Handle(), part)) return NewFile::Failed;
  }
  if (durability == Durability::Flushed && !::FlushFileBuffers(made->Handle())) {
    return NewFile::Failed;
  }
  // The shot must not stay hidden under its own name. Done before the move,
  // so that a crash in between leaves a visible partial file, which the
  // next start removes, rather than a shot that no one sees.
  if (attributes & FILE_ATTRIBUTE_HIDDEN) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!calls.setFileInformationByHandle(made->Handle(), FileBasicInfo, &basic, sizeof(basic))) {
      return std::nullopt;
    }
  }
  if (!made->Close()) return NewFile::Failed;

  // Without MOVEFILE_REPLACE_EXISTING the move fails for a name that
  // anything holds, and touches nothing there.
  const DWORD flags = durability == Durability::Flushed ? MOVEFILE_WRITE_THROUGH : 0;
  if (::MoveFileExW(made->Path().c_str(), SystemPath(path).c_str(), flags)) {
    made->Keep();
    return NewFile::Written;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? NewFile::NameTaken
                                                                     : NewFile::Failed;
}

}  // namespace

NewFile WriteNewFileAt(std::string_view path, std::span<const std::span<const std::uint8_t>> parts,
                       Durability durability, const FileCalls& calls) {
  // Hidden while it is written, where the file system lets it be made
  // visible once it is whole; elsewhere visible all along.
  if (const auto written =
          WriteThroughPartialFile(path, parts, durability, FILE_ATTRIBUTE_HIDDEN, calls)) {
    return *written;
  }
  return WriteThroughPartialFile(path, parts, durability, FILE_ATTRIBUTE_NORMAL, calls)
      .value_or(NewFile::Failed);
}

Status PrepareFolderAt(std::string_view path) {
  const std::string folder(path);
  if (!::CreateDirectoryW(SystemPath(folder).c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return Status::Failed;
  }
  const DWORD attributes = ::GetFileAttributesW(SystemPath(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Status::Failed;
  }
  // What interrupted writes left.
  WIN32_FIND_DATAW found{};
  const FindHandle search(
      ::FindFirstFileExW(SystemPath(folder + "\\" + std::string(kTempFilePrefix) + "*").c_str(),
                         FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (search.Get() == INVALID_HANDLE_VALUE) return Status::Ok;
  do {
    constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const std::string name = Narrow(found.cFileName);
    const EntryKind kind = found.dwFileAttributes & kNotAFile ? EntryKind::Other : EntryKind::File;
    if (IsLeftoverTempFile(name, kind)) ::DeleteFileW(SystemPath(folder + "\\" + name).c_str());
  } while (::FindNextFileW(search.Get(), &found));
  return Status::Ok;
}

Status Win32Platform::PrepareFolder(std::string_view path) { return PrepareFolderAt(path); }

NewFile Win32Platform::WriteNewFile(std::string_view path,
                                    std::span<const std::span<const std::uint8_t>> parts) {
  return WriteNewFileAt(path, parts, shotDurability_, calls_.files);
}

Status Win32Platform::DeleteFile(std::string_view path) {
  return StatusOf(::DeleteFileW(SystemPath(path).c_str()) != FALSE);
}

Status Win32Platform::ReplaceFile(std::string_view from, std::string_view to) {
  const std::wstring source = SystemPath(from);
  {
    // Its data on the disk before it takes the old file's place: after a
    // power cut the settings are either the old ones or the new ones.
    const KernelHandle file(::CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !::FlushFileBuffers(file.Get())) return Status::Failed;
  }
  return StatusOf(::MoveFileExW(source.c_str(), SystemPath(to).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE);
}

std::optional<FileHead> Win32Platform::ReadFile(std::string_view path,
                                                std::span<std::uint8_t> into) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER length{};
  if (!file || !::GetFileSizeEx(file.Get(), &length)) return std::nullopt;
  std::size_t total = 0;
  while (total < into.size()) {
    const auto chunk = static_cast<DWORD>(std::min(into.size() - total, kMaxChunk));
    DWORD got = 0;
    if (!::ReadFile(file.Get(), into.data() + total, chunk, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // the end of the file
    total += got;
  }
  return FileHead{total, length.QuadPart};
}

Status Win32Platform::WriteFile(std::string_view path, std::span<const std::uint8_t> bytes) {
  KernelHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !WriteWhole(file.Get(), bytes)) return Status::Failed;
  const HANDLE handle = file.Detach();
  return StatusOf(::CloseHandle(handle) != FALSE);
}

}  // namespace snapwick::win32
