#include "config/update_context.h"

#include <gtest/gtest.h>

#include <string>

namespace kiln {
namespace {

TEST(UpdateContext, StartsZeroed) {
  const UpdateContext context;
  EXPECT_TRUE(context.baseDir.empty());
  EXPECT_EQ(context.notifyWindow, nullptr);
  EXPECT_EQ(context.targetModel, 0u);
  EXPECT_EQ(context.writeType, 0);
  EXPECT_FALSE(context.busy);
  EXPECT_FALSE(context.noBusyCheckAtStartup);
}

TEST(FixedText, FitsItsCapacityAndCutsTheRest) {
  PathText path;
  path = std::string(511, 'p');
  EXPECT_EQ(path.size(), 511u);
  path = std::string(600, 'q');
  EXPECT_EQ(path.view(), std::string(511, 'q'));
  path = "/base";
  path.Append("/file.bin");
  EXPECT_EQ(path, "/base/file.bin");

  VersionText version;
  version.Append(std::string(30, 'v'));
  EXPECT_EQ(version.size(), 23u);
  version = static_cast<const char*>(nullptr);
  EXPECT_TRUE(version.empty());

  NameText self = "M07";
  self = self.view();  // assigning from itself keeps the text
  EXPECT_EQ(self, "M07");
}

}  // namespace
}  // namespace kiln
