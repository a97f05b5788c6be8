#pragma once
// One running copy per user and display: the first copy holds an exclusive
// lock on a file in the user's runtime folder until it ends, however it
// ends (the system drops the lock of a killed process).

#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/unique_fd.h"

namespace snapwick::linux {

// The display's name without its screen number, so that ":0" and ":0.0"
// are the same display; characters a file name cannot hold become '_'.
std::string DisplayKey(std::string_view display);
// runtimeFolder/snapwick-<display key>.lock
std::string LockFilePath(std::string_view runtimeFolder, std::string_view display);
// runtimeFolder/snapwick-<display key>.sock: the socket beside the lock
// through which the compositor's key bindings reach the copy that holds it
// (compositor_key_door.h).
std::string KeyDoorPath(std::string_view runtimeFolder, std::string_view display);

class SingleInstance {
 public:
  explicit SingleInstance(std::string lockPath) : path_(std::move(lockPath)) {}

  // Takes the lock at the first call and keeps it for the program's life;
  // true when another copy holds it. A lock file that cannot be made
  // blocks no one: the program then runs as if alone.
  bool AnotherRunning();
  // Whether this copy holds the lock: once AnotherRunning has said no, and
  // the lock file could be made.
  bool Held() const { return lock_.Valid(); }

 private:
  std::string path_;
  UniqueFd lock_;
  std::optional<bool> answer_;
};

}  // namespace snapwick::linux
