#include <gtest/gtest.h>

#include <cstdint>

#include "app/progress_display.h"

namespace {

TEST(ProgressPercent, CutTowardZeroOverSixtyFourBitCounters) {
  const struct {
    int64_t done;
    int64_t total;
    int32_t percent;
  } cases[] = {
      {42, 100, 42},
      {999, 1000, 99},
      {1000, 1000, 100},
      {150, 100, 150},
      {5, 0, 0},                     // no size known yet
      {1342177280, 2684354560, 50},  // a file above 2 GiB
      {2684354560, 2684354560, 100},
      {INT64_MAX, 1, 32767},  // too large for 64 bits: a full bar
      {-5, 100, -5},          // the bar holds it at 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
  }
}

}  // namespace
