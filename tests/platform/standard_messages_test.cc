#include "platform/standard_messages.h"

#include <set>
#include <vector>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(StandardMessagesTest, ClassicNumbersKeepTheirTexts) {
  EXPECT_EQ(StandardMessage(6), "Overflow");
  EXPECT_EQ(StandardMessage(53), "File not found");
  EXPECT_EQ(StandardMessage(75), "Path/File access error");
  EXPECT_EQ(StandardMessage(440), "Automation error");
  EXPECT_EQ(StandardMessage(4242), "Application-defined or object-defined error");
}

TEST(StandardMessagesTest, EveryNumberOfOurOwnHasItsOwnText) {
  // Our numbers run without gaps from their first to their last, 35751 excepted.
  std::vector<int> ours = {error::kFetchFailed};
  for (int n = error::kFetchBadAddress; n <= error::kFetchHttpError; ++n) ours.push_back(n);
  for (int n = error::kMailFailed; n <= error::kMailComposeFailed; ++n) ours.push_back(n);
  std::set<std::string_view> texts;
  for (const int number : ours) {
    EXPECT_NE(StandardMessage(number), StandardMessage(-1)) << number;
    EXPECT_TRUE(texts.insert(StandardMessage(number)).second) << "text used twice: " << number;
  }
}

}  // namespace
}  // namespace webletter
