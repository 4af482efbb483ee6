// The main of the test programs that use the umockdev test bed. libudev sees the test
// bed only through umockdev's preload library, so the program first runs itself again
// under it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/testbed/umockdev_env.h"

int main(int argc, char** argv) {
  if (!kiln::sim::InUmockdevEnvironment()) {
    std::string error;
    kiln::sim::ReexecuteUnderUmockdev(argv, error);
    std::fprintf(stderr, "cannot run under umockdev: %s\n", error.c_str());
    return 127;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
