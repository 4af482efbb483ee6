#include <gtest/gtest.h>
#include <windows.h>

#include "platform/read_only_file.h"

namespace kiln::platform {
namespace {

// A package on a network share that has gone away is not opened, and opening gives up
// instead of hanging: the update then says the package cannot be read.
TEST(NetworkPackage, VanishedShareIsNotOpened) {
  const ULONGLONG before = ::GetTickCount64();
  for (const char* path : {"\\\\nohost\\share\\x.bin", "//nohost/share/x.bin"}) {
    const ReadOnlyFile file(path);
    EXPECT_FALSE(file.IsOpen()) << path;
    EXPECT_EQ(file.size(), 0u) << path;
  }
  EXPECT_LT(::GetTickCount64() - before, 60000u);
}

}  // namespace
}  // namespace kiln::platform
