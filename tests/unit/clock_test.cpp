#include "platform/clock.h"

#include <gtest/gtest.h>

namespace kiln::platform {
namespace {

TEST(TimeScale, AcceptsOnlyPositiveFactors) {
  EXPECT_DOUBLE_EQ(ParseTimeScale(nullptr), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale(""), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("0.01"), 0.01);
  EXPECT_DOUBLE_EQ(ParseTimeScale("2"), 2.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("0"), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("-1"), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("fast"), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("0.5x"), 1.0);
  EXPECT_DOUBLE_EQ(ParseTimeScale("nan"), 1.0);
}

}  // namespace
}  // namespace kiln::platform
