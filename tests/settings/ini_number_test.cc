#include <cstdlib>

#include "gtest/gtest.h"
#include "settings/settings.h"
#include "support/case_rows.h"

namespace webletter {
namespace {

TEST(IniNumberTest, TakesTheLongestLeadingNumber) {
  for (const auto& [text, number] : testing::CaseRows<2>("settings/ini_number_cases.tsv")) {
    EXPECT_EQ(IniNumber(text), std::strtod(number.c_str(), nullptr)) << text;
  }
}

}  // namespace
}  // namespace webletter
