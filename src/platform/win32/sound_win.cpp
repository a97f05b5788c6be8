#include "platform/win32/sound_win.h"

#include "platform/win32/scoped_win.h"

namespace snapwick::win32 {
namespace {

// Sounds are short; anything larger is not one of ours.
constexpr LONGLONG kMaxSoundBytes = 16 * 1024 * 1024;

bool ReadWhole(const std::wstring& path, std::vector<char>& into) {
  KernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 ||
      size.QuadPart > kMaxSoundBytes) {
    return false;
  }
  into.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD got = 0;
  if (!::ReadFile(file.Get(), into.data(), static_cast<DWORD>(into.size()), &got, nullptr)) {
    return false;
  }
  into.resize(got);
  return got > 0;
}

}  // namespace

SoundPlayer::~SoundPlayer() {
  if (!playing_.empty()) ::PlaySoundW(nullptr, nullptr, 0);
}

bool SoundPlayer::Play(const std::wstring& path) {
  std::vector<char> next;
  if (!ReadWhole(path, next)) return false;
  // The buffer of the sound now playing is freed below: stop it first.
  ::PlaySoundW(nullptr, nullptr, 0);
  playing_ = std::move(next);
  return ::PlaySoundW(reinterpret_cast<LPCWSTR>(playing_.data()), nullptr,
                      SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != FALSE;
}

}  // namespace snapwick::win32
