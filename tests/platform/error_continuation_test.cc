#include "platform/error_continuation.h"

#include <vector>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ErrorContinuationTest, FailingStepDoesNotStopTheNextAndTheLastFailureCounts) {
  ErrorContinuation steps;
  std::vector<int> ran;
  steps.Run([&] {
    ran.push_back(1);
    return Status(53);
  });
  steps.Run([&] {
    ran.push_back(2);
    return Status::Ok();
  });
  steps.Run([&] {
    ran.push_back(3);
    return Status(70);
  });
  steps.Run([&] {
    ran.push_back(4);
    return Status::Ok();
  });
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_TRUE(steps.failed());
  EXPECT_EQ(steps.last_error(), Status(70));
  EXPECT_EQ(steps.last_error().message(), "Permission denied");
}

TEST(ErrorContinuationTest, NoFailureMeansSuccess) {
  ErrorContinuation steps;
  steps.Run([] { return Status::Ok(); });
  steps.Note(Status::Ok());
  EXPECT_FALSE(steps.failed());
  EXPECT_TRUE(steps.last_error().ok());
  EXPECT_EQ(steps.last_error().message(), "");
}

}  // namespace
}  // namespace webletter
