// The test program of the Qt front-end: real widgets on the offscreen
// platform, so the tests run without a display (and in CI).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  // Keep an explicit choice (xvfb, a real desktop) when the caller made one.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // The main window's modal run ends only when its dialog ends.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
