#include "base/shown_text.h"

#include <string_view>

#include "gtest/gtest.h"
#include "support/case_rows.h"

namespace webletter {
namespace {

TEST(MaskPasswordTest, HidesThePasswordAndKeepsTheRest) {
  for (const auto& [address, shown] : testing::CaseRows<2>("base/shown_text_cases.tsv")) {
    EXPECT_EQ(MaskPassword(address), shown) << address;
  }
}

TEST(ShownSafelyTest, ControlCharactersBecomeBlanks) {
  EXPECT_EQ(ShownSafely("a\r\nb\tc\x1b[31md\x7f\x01\x1f \xc2\x9b\xc2\x80\xc2\x9f\xc2\xa0\xc2"),
            "a  b c [31md       \xc2\xa0\xc2");
  EXPECT_EQ(ShownSafely(std::string_view("x\0y", 3)), "x y");
  // In text that is not UTF-8 a lone C1 byte is a control too; Latin-1 letters stay.
  EXPECT_EQ(ShownSafely("caf\xe9\x9b[2J\x85\xa0\xff"), "caf\xe9 [2J \xa0\xff");
}

}  // namespace
}  // namespace webletter
