#pragma once

#include <cstdio>
#include <string>

#include "sim/testbed/umockdev_env.h"

namespace kiln::testing {

// libudev sees the test bed only through umockdev's preload library: a program that
// uses the test bed first runs itself again under it. Returns true when the program
// already runs under it; false (with a message) when running it again failed.
inline bool RunUnderUmockdev(char** argv) {
  if (sim::InUmockdevEnvironment()) return true;
  std::string error;
  sim::ReexecuteUnderUmockdev(argv, error);
  std::fprintf(stderr, "cannot run under umockdev: %s\n", error.c_str());
  return false;
}

}  // namespace kiln::testing
