#include "platform/linux/sound_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "temp_folder.h"

namespace snapwick::linux {
namespace {

using testing::TempFolder;

// A second of 16-bit mono silence at 22050 Hz.
void WriteSilence(const std::string& path) {
  const std::uint32_t samples = 22050;
  const std::uint32_t data = samples * 2;
  std::ofstream out(path, std::ios::binary);
  auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  put32(36 + data);
  out.write("WAVEfmt ", 8);
  put32(16);
  put16(1);
  put16(1);
  put32(22050);
  put32(44100);
  put16(2);
  put16(16);
  out.write("data", 4);
  put32(data);
  const std::string zeros(data, '\0');
  out.write(zeros.data(), data);
}

class SoundPlayerTest : public ::testing::Test {
 protected:
  // No sound server here: the machine of a user without one.
  void SetUp() override {
    const char* previous = std::getenv("PULSE_SERVER");
    if (previous) previousServer_ = previous;
    ::setenv("PULSE_SERVER", (dir_ / "no-server").c_str(), 1);
    WriteSilence(dir_ / "1.wav");
  }
  void TearDown() override {
    if (previousServer_) {
      ::setenv("PULSE_SERVER", previousServer_->c_str(), 1);
    } else {
      ::unsetenv("PULSE_SERVER");
    }
  }

  TempFolder dir_;
  std::optional<std::string> previousServer_;
};

TEST_F(SoundPlayerTest, FilesThatAreNoSound_FailAtOnce) {
  std::ofstream(dir_ / "text.wav") << "not a sound at all, but long enough to be read";
  SoundPlayer player;
  EXPECT_EQ(player.Play(dir_ / "missing.wav"), Status::Failed);
  EXPECT_EQ(player.Play(dir_ / "text.wav"), Status::Failed);
  EXPECT_EQ(player.Play(dir_.Path()), Status::Failed);
}

TEST_F(SoundPlayerTest, NoSoundServer_HandedOverQuicklyQuietlyAndCleanedUp) {
  ::testing::internal::CaptureStderr();
  {
    SoundPlayer player;
    const auto start = std::chrono::steady_clock::now();
    // A one-second sound: a player that waited for it would take that long.
    EXPECT_EQ(player.Play(dir_ / "1.wav"), Status::Ok);
    EXPECT_EQ(player.Play(dir_ / "1.wav"), Status::Ok);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(500));
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace snapwick::linux
