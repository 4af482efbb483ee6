// The main of the test programs that use the umockdev test bed. libudev sees the test
// bed only through umockdev's preload library, so the program first runs itself again
// under it.

#include <gtest/gtest.h>

#include "support/umockdev_reexec.h"

int main(int argc, char** argv) {
  if (!kiln::testing::RunUnderUmockdev(argv)) return 127;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
