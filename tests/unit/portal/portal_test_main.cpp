// The portal layer's tests run inside one QCoreApplication: QtDBus delivers
// signals through the event loop, which the tests spin while they wait.

#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
