#include "platform/error_continuation.h"

#include <vector>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ErrorContinuationTest, FailingStepDoesNotStopTheNextAndTheLastFailureCounts) {
  ErrorContinuation steps;
  EXPECT_FALSE(steps.failed());
  std::vector<int> ran;
  for (const int number : {53, 0, 70, 0}) {
    steps.Run([&] {
      ran.push_back(number);
      return number == 0 ? Status::Ok() : Status(number);
    });
  }
  EXPECT_EQ(ran, (std::vector<int>{53, 0, 70, 0}));
  EXPECT_TRUE(steps.failed());
  EXPECT_EQ(steps.last_error().message(), "Permission denied");
}

}  // namespace
}  // namespace webletter
