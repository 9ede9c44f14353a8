#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// The GUI tests run the real windows; without a display they use Qt's offscreen platform.
// Test discovery runs this program without ctest's environment, so it is set here.
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
