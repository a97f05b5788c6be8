#include "app_fixture.h"
#include "capture/screen_save.h"

namespace snapwick::testing {
namespace {

class SaveJpegTest : public AppTest {
 protected:
  SaveJpegTest() { p.folders.insert("C:\\pic"); }
  const std::string path = "C:\\pic\\a.jpg";
};

TEST_F(SaveJpegTest, Good_WritesWithTheJpegEncoderInOrder) {
  EXPECT_FALSE(SaveJpeg(p, 0x77, path, 80));
  EXPECT_EQ(p.Names(), (std::vector<std::string>{"FileExists", "GdiplusStartup",
                                                 "GdipCreateBitmapFromHBITMAP", "CLSIDFromString",
                                                 "GdipSaveImageToFile", "GdipDisposeImage",
                                                 "GdiplusShutdown"}));
  EXPECT_EQ(p.calls[1].detail, "1");  // GDI+ version 1
  EXPECT_EQ(p.calls[3].detail, "{557CF401-1A04-11D3-9A73-0000F81EF32E}");
  EXPECT_EQ(p.savedPaths.back(), u"C:\\pic\\a.jpg");
  EXPECT_EQ(p.savedQuality, 80u);
  EXPECT_TRUE(p.files.count(path));
  EXPECT_EQ(p.gdiplusSessions, 0);
  EXPECT_EQ(p.gdiplusBitmaps, 0);
}

TEST_F(SaveJpegTest, Quality_HandedOnUnchanged) {
  for (int q : {10, 100, 255}) {
    EXPECT_FALSE(SaveJpeg(p, 0x77, path, static_cast<std::uint8_t>(q)));
    EXPECT_EQ(p.savedQuality, static_cast<std::uint32_t>(q));
  }
}

TEST_F(SaveJpegTest, PathWithCyrillicLetters_ReachesGdiplusAsUtf16) {
  p.folders.insert("C:\\Снимки");
  EXPECT_FALSE(SaveJpeg(p, 0x77, "C:\\Снимки\\a.jpg", 80));
  EXPECT_EQ(p.savedPaths.back(), u"C:\\Снимки\\a.jpg");
}

struct FailCase {
  const char* what;
  GpStatus startup, create, save;
  int disposes, shutdowns;
  const char* description;
};

TEST_F(SaveJpegTest, Failures_BalancedAndReportedWithTheDecidingStatus) {
  const FailCase cases[] = {
      {"startup", 18, 0, 0, 0, 0, "Cannot save the image. GDI+ Error:18"},
      {"bitmap", 0, 2, 0, 0, 1, "Cannot save the image. GDI+ Error:2"},
      {"save", 0, 0, 10, 1, 1, "Cannot save the image. GDI+ Error:10"},
  };
  for (const auto& c : cases) {
    FakePlatform fp;
    fp.folders.insert("C:\\pic");
    fp.startupStatus = c.startup;
    fp.createStatus = c.create;
    fp.saveStatus = c.save;
    const Failure error = SaveJpeg(fp, 0x77, path, 80);
    ASSERT_TRUE(error) << c.what;
    EXPECT_EQ(*error, (Error{5, c.description})) << c.what;
    EXPECT_EQ(fp.Count("GdipDisposeImage"), c.disposes) << c.what;
    EXPECT_EQ(fp.Count("GdiplusShutdown"), c.shutdowns) << c.what;
    EXPECT_EQ(fp.gdiplusSessions, 0) << c.what;
    EXPECT_EQ(fp.gdiplusBitmaps, 0) << c.what;
    // GDI+ is shut down before the error goes back.
    EXPECT_NE(fp.calls.back().name, "GdipSaveImageToFile") << c.what;
  }
}

TEST_F(SaveJpegTest, MissingFolder_NonZeroStatus) {
  const Failure error = SaveJpeg(p, 0x77, "C:\\gone\\a.jpg", 80);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, 5);
  EXPECT_NE(error->description, "Cannot save the image. GDI+ Error:0");
}

TEST_F(SaveJpegTest, FailedSave_LeavesNoPartialFile) {
  p.saveStatus = 7;
  p.failedSaveLeavesFile = true;
  EXPECT_TRUE(SaveJpeg(p, 0x77, path, 80));
  EXPECT_FALSE(p.files.count(path));
}

TEST_F(SaveJpegTest, FailedSaveOverAnExistingFile_DoesNotDeleteIt) {
  p.files[path] = {1, 2, 3};
  p.saveStatus = 7;
  EXPECT_TRUE(SaveJpeg(p, 0x77, path, 80));
  EXPECT_TRUE(p.files.count(path));
}

}  // namespace
}  // namespace snapwick::testing
