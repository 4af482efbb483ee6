#pragma once

// The few POSIX calls the shared test helpers and tests use, for the Windows build of the
// tests (mingw-w64's C runtime lacks them). Included into every Windows test ahead of
// its own includes; on Linux it adds nothing.
#ifdef _WIN32

#include <direct.h>
#include <io.h>
#include <stdlib.h>

#include <cstring>
#include <string>

// setenv with overwrite 0 keeps a set variable, as POSIX says.
inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && ::getenv(name) != nullptr) return 0;
  return ::_putenv_s(name, value);
}

// An empty value removes the variable from the C runtime's environment.
inline int unsetenv(const char* name) {
  return ::_putenv_s(name, "");
}

// Replaces the template's trailing XXXXXX and creates the folder; nullptr when no free
// name was found.
inline char* mkdtemp(char* pattern) {
  const std::size_t length = std::strlen(pattern);
  if (length < 6) return nullptr;
  const std::string original(pattern);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::memcpy(pattern, original.c_str(), length + 1);
    if (::_mktemp_s(pattern, length + 1) != 0) return nullptr;
    if (::_mkdir(pattern) == 0) return pattern;
  }
  return nullptr;
}

// The stop requests of the tests name the signals Linux sends; on Windows a console event
// stands behind the same numbers.
#ifndef SIGHUP
#define SIGHUP 1
#endif

// Windows has no root: every test runs as an ordinary user would.
inline unsigned geteuid() {
  return 1000;
}

#endif
