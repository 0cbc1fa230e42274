#include <clocale>
#include <limits>
#include <ostream>
#include <string>

#include "gtest/gtest.h"
#include "settings/settings.h"

namespace webletter {
namespace {

constexpr double kLargest = std::numeric_limits<double>::max();

struct NumberCase {
  std::string text;
  double expected;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class IniNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IniNumberTest, TakesTheLongestLeadingNumber) {
  EXPECT_EQ(IniNumber(GetParam().text), GetParam().expected) << "\"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IniNumberTest,
    ::testing::Values(NumberCase{"-1", -1}, NumberCase{"0.5", 0.5}, NumberCase{" 2days", 2},
                      NumberCase{"\t \t3", 3}, NumberCase{"+4", 4}, NumberCase{"00012", 12},
                      NumberCase{".5", 0.5}, NumberCase{"-.5", -0.5}, NumberCase{"5.", 5},
                      NumberCase{"1.5.6", 1.5}, NumberCase{"1,5", 1}, NumberCase{"1e3", 1000},
                      NumberCase{"2E-1x", 0.2}, NumberCase{"1e", 1}, NumberCase{"1e+", 1},
                      NumberCase{"1e-", 1}, NumberCase{"  -0", 0}, NumberCase{"abc", 0},
                      NumberCase{"", 0}, NumberCase{"   ", 0}, NumberCase{".", 0},
                      NumberCase{"-", 0}, NumberCase{"- 1", 0}, NumberCase{"\n5", 0},
                      NumberCase{"0x10", 0}, NumberCase{"inf", 0}, NumberCase{"nan", 0},
                      NumberCase{"-nan", 0}, NumberCase{"\xD9\xA1", 0},
                      // Out of range: too large is the largest number, too small is 0.
                      NumberCase{"1e400", kLargest}, NumberCase{"-1e400", -kLargest},
                      NumberCase{"1e99999999999999999999", kLargest},
                      NumberCase{std::string(400, '9'), kLargest}, NumberCase{"1e-400", 0},
                      NumberCase{"-1e-99999999999999999999", 0},
                      NumberCase{"0." + std::string(400, '0') + "1", 0}, NumberCase{"0e99999", 0}));

// The window sets the user's locale; a decimal comma there must not change the parse.
TEST(IniNumberLocaleTest, IgnoresTheLocalesDecimalSeparator) {
  std::string old_locale = std::setlocale(LC_ALL, nullptr);
  bool found = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      found = true;
      break;
    }
  }
  if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(IniNumber("0.5"), 0.5);
  EXPECT_EQ(IniNumber("1,5"), 1);
  std::setlocale(LC_ALL, old_locale.c_str());
}

}  // namespace
}  // namespace webletter
