// One application object for every widget test, on the offscreen platform; pauses taken
// on the system clock are scaled down unless the test run sets its own scale.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("KILN_TIME_SCALE", "0.01", 0);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
