#pragma once

// Environment variables a test sets for its own lifetime only.

#include <cstdlib>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace kiln::testing {

// Sets an environment variable while it lives and gives back the value it had before
// (or unsets it again), so that one test's folders never leak into the next.
class EnvironmentScope {
 public:
  EnvironmentScope(const char* name, const std::string& value) : name_(name) {
    if (const char* before = std::getenv(name)) before_ = before;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvironmentScope() {
    if (before_) {
      ::setenv(name_, before_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;

 private:
  const char* name_;
  std::optional<std::string> before_;
};

// A private lock folder (KILN_LOCK_DIR) for the I/O-right locks, named mutexes, instance
// lock and queue-hold journal while it lives: a fresh temporary folder.
class LockFolderScope : public TempDir {
 private:
  EnvironmentScope variable_{"KILN_LOCK_DIR", path().string()};
};

}  // namespace kiln::testing
