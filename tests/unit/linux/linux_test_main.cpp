// The Linux layer's tests run inside one QApplication on Qt's offscreen
// platform, so that widgets can be made without an X server.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
