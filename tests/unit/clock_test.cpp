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

TEST(TimeScale, TransferTimeOutsFollowTheScaleDownToAFloor) {
  EXPECT_EQ(ScaleTransferTimeOut(5000, 1.0), 5000u);
  EXPECT_EQ(ScaleTransferTimeOut(5000, 0.5), 2500u);
  EXPECT_EQ(ScaleTransferTimeOut(5000, 0.01), kMinScaledTransferTimeOutMs) << "not 50 ms";
  EXPECT_EQ(ScaleTransferTimeOut(200, 0.01), 200u) << "a shorter time-out is not lengthened";
  EXPECT_EQ(ScaleTransferTimeOut(0, 0.01), 0u) << "no limit stays no limit";
  EXPECT_EQ(ScaleTransferTimeOut(5000, 3.0), 15000u);
  EXPECT_EQ(ScaleTransferTimeOut(4000000000u, 2.0), UINT32_MAX);
}

}  // namespace
}  // namespace kiln::platform
