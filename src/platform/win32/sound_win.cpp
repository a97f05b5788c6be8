#include "platform/win32/sound_win.h"

#include <mmsystem.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace snapwick::win32 {
namespace {

// Sounds are short; anything larger is not one of ours.
constexpr std::uintmax_t kMaxSoundBytes = 16 * 1024 * 1024;

bool ReadWhole(const std::wstring& path, std::vector<char>& into) {
  std::error_code error;
  const std::filesystem::path file(path);
  const auto size = std::filesystem::file_size(file, error);
  if (error || size == 0 || size > kMaxSoundBytes) return false;
  std::ifstream in(file, std::ios::binary);
  into.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
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
