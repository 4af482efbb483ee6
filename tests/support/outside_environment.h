#pragma once

#include <unistd.h>

#include <string_view>
#include <vector>

namespace kiln::testing {

// The process environment without the test's preloaded libraries and without the test
// bed: for helper servers (X, print server) that must run as on a plain machine. Under
// the sanitizers the preload list carries their runtime, which a server that was not
// built with them cannot load.
inline std::vector<char*> OutsideTestBedEnvironment() {
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    if (variable.starts_with("LD_PRELOAD=") || variable.starts_with("UMOCKDEV_DIR=")) continue;
    environment.push_back(*entry);
  }
  environment.push_back(nullptr);
  return environment;
}

}  // namespace kiln::testing
