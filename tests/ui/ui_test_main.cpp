// Main of the Qt tests: one offscreen QApplication for every test.
// STILLWEAVER_TEST_SCREEN=WIDTHxHEIGHT gives the offscreen screen that size.
#include <QApplication>
#include <QTemporaryFile>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests (ctest does it before running them) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QByteArray platform = qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM");
  QTemporaryFile screens;
  const QList<QByteArray> size = qgetenv("STILLWEAVER_TEST_SCREEN").split('x');
  if (platform == "offscreen" && size.size() == 2 && screens.open()) {
    screens.write("{\"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, \"width\": " + size[0] +
                  ", \"height\": " + size[1] + ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}");
    screens.flush();
    platform += ":configfile=" + QFile::encodeName(screens.fileName());
  }
  qputenv("QT_QPA_PLATFORM", platform);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
