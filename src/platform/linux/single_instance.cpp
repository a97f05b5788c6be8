#include "platform/linux/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace snapwick::linux {

std::string DisplayKey(std::string_view display) {
  // host:display.screen; the screen is after the last dot behind the colon.
  const auto colon = display.rfind(':');
  if (colon != std::string_view::npos) {
    const auto dot = display.find('.', colon);
    if (dot != std::string_view::npos) display = display.substr(0, dot);
  }
  std::string key(display);
  for (char& c : key) {
    if (c == '/' || c == '\0') c = '_';
  }
  return key;
}

namespace {

std::string RuntimeFile(std::string_view runtimeFolder, std::string_view display,
                        std::string_view extension) {
  std::string path(runtimeFolder);
  if (!path.empty() && path.back() != '/') path += '/';
  return path + "snapwick-" + DisplayKey(display) + std::string(extension);
}

}  // namespace

std::string LockFilePath(std::string_view runtimeFolder, std::string_view display) {
  return RuntimeFile(runtimeFolder, display, ".lock");
}

std::string KeyDoorPath(std::string_view runtimeFolder, std::string_view display) {
  return RuntimeFile(runtimeFolder, display, ".sock");
}

bool SingleInstance::AnotherRunning() {
  if (answer_) return *answer_;
  // Close-on-exec: a browser started from the program must not inherit the
  // lock and block the next start after the program has ended.
  lock_.Reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  bool another = false;
  if (lock_.Valid() && ::flock(lock_.Get(), LOCK_EX | LOCK_NB) != 0) {
    another = errno == EWOULDBLOCK;
    lock_.Reset();
  }
  answer_ = another;
  return another;
}

}  // namespace snapwick::linux
