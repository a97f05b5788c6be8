#include "platform/linux/single_instance.h"

#include <gtest/gtest.h>

#include <memory>

#include "temp_folder.h"

namespace snapwick::linux {
namespace {

using testing::TempFolder;

TEST(DisplayKey, DisplayNames_OneKeyPerDisplayWhateverTheScreen) {
  const struct {
    std::string_view display, key;
  } cases[] = {
      {":0", ":0"},
      {":0.0", ":0"},
      {":0.1", ":0"},
      {":12", ":12"},
      {"localhost:10.0", "localhost:10"},
      {"host.example.org:1.0", "host.example.org:1"},
      {"/tmp/launch-abc/org.x:0", "_tmp_launch-abc_org.x:0"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayKey(c.display), c.key) << c.display;
}

TEST(LockFilePath, FolderWithOrWithoutSlash_OneFileNamedAfterTheDisplay) {
  EXPECT_EQ(LockFilePath("/run/user/1000", ":0.0"), "/run/user/1000/snapwick-:0.lock");
  EXPECT_EQ(LockFilePath("/run/user/1000/", ":1"), "/run/user/1000/snapwick-:1.lock");
}

TEST(SingleInstance, SecondCopyWhileTheFirstRuns_SeesItUntilTheFirstEnds) {
  TempFolder dir;
  const std::string path = LockFilePath(dir.Path(), ":5");
  auto first = std::make_unique<SingleInstance>(path);
  EXPECT_FALSE(first->AnotherRunning());
  // The answer stays the same for the copy's whole life.
  EXPECT_FALSE(first->AnotherRunning());

  SingleInstance second(path);
  EXPECT_TRUE(second.AnotherRunning());
  SingleInstance otherDisplay(LockFilePath(dir.Path(), ":6"));
  EXPECT_FALSE(otherDisplay.AnotherRunning());

  first.reset();
  SingleInstance third(path);
  EXPECT_FALSE(third.AnotherRunning());
  // The second copy asked once, while the first ran, and keeps its answer.
  EXPECT_TRUE(second.AnotherRunning());
}

TEST(SingleInstance, LockFileCannotBeMade_RunsAsIfAlone) {
  SingleInstance copy("/nonexistent-folder/snapwick-:0.lock");
  EXPECT_FALSE(copy.AnotherRunning());
}

}  // namespace
}  // namespace snapwick::linux
