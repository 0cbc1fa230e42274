#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "settings/settings.h"

namespace webletter {
namespace {

TEST(IniNumberTest, TakesTheLongestLeadingNumber) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  std::vector<std::pair<std::string, double>> cases = {
      {"-1", -1},
      {"0.5", 0.5},
      {" \t2days", 2},
      {"+4", 4},
      {"-.5", -0.5},
      {"1.5.6", 1.5},
      {"1,5", 1},
      {"2E-1x", 0.2},
      {"1e+", 1},
      {"abc", 0},
      {"", 0},
      {"- 1", -1},
      {"\n5", 5},
      {"1 5", 15},
      {"1 e 2", 100},
      {"1 .5", 1.5},
      {"0x10", 0},
      {"inf", 0},
      {"nan", 0},
      {"\xD9\xA1", 0},
      {"1e-400", 0},
      {"0e99999", 0},
      {"0.2e309", kLargest},
  };
  // Too large is the largest number (with its sign), too small is 0.
  cases.insert(cases.end(), {{"1e400", kLargest}, {"-1e400", -kLargest}, {"0.2e309", kLargest}});
  cases.emplace_back(std::string(400, '9'), kLargest);
  for (const auto& [text, expected] : cases) EXPECT_EQ(IniNumber(text), expected) << text;
}

}  // namespace
}  // namespace webletter
