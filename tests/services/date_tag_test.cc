#include "services/date_tag.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/standard_messages.h"
#include "services/date_format.h"
#include "services/date_test_locales.h"

namespace webletter {
namespace {

using testing::CLocale;

// Sunday 10 March 2024.
const double kToday = DateFromCivil(2024, 3, 10);

struct TagCase {
  std::string_view subject;
  std::optional<double> offset;
  std::string_view expected;
};

TEST(DateTagTest, FillsTheFirstTagAndItsCopiesMovedByTheOffset) {
  const std::vector<TagCase> cases = {
      {"News of #yyyy-mm-dd# for you", std::nullopt, "News of 2024-03-10 for you"},
      {"#dd# and #dd#", std::nullopt, "10 and 10"},
      {"#dd# and #mm#", std::nullopt, "10 and #mm#"},
      {"#DD# and #dd#", std::nullopt, "10 and #dd#"},
      {"#dd#dd#", std::nullopt, "10dd#"},
      {"no tag here", std::nullopt, "no tag here"},
      {"one # only", std::nullopt, "one # only"},
      {"##", std::nullopt, "03/10/24"},
      {"Grüße vom #dd.mm.# – schön", std::nullopt, "Grüße vom 10.03. – schön"},
      {"#hh:nn:ss#", std::nullopt, "00:00:00"},
      {"#yyyy-mm-dd#", 1.0, "2024-03-11"},
      {"#yyyy-mm-dd#", -7.0, "2024-03-03"},
      {"#yyyy-mm-dd#", -10.0, "2024-02-29"},
      {"#dd hh:nn#", 0.5, "10 12:00"},
      {"#dd hh:nn#", -0.25, "09 18:00"},
      {"#dd hh:nn:ss#", 1.0 / 3.0, "10 08:00:00"},
  };
  for (const TagCase& c : cases) {
    std::string text(c.subject);
    const Result<std::string> result = FillDateTag(text, c.offset, kToday, CLocale());
    ASSERT_TRUE(result.ok()) << c.subject;
    EXPECT_EQ(*result, c.expected) << c.subject << " offset " << c.offset.value_or(0);
    EXPECT_EQ(text, c.expected) << "the caller's text changes too: " << c.subject;
  }
}

// A date outside the range, or a mark past the 16-bit range, fails and leaves the text alone.
// Mark positions count characters: "é" is two bytes but one character.
TEST(DateTagTest, OverflowsLeaveTheTextAlone) {
  const auto prefix = [](std::size_t characters) {
    std::string text;
    for (std::size_t i = 0; i < characters; ++i) text += "é";
    return text;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::tuple<std::string, std::optional<double>, int>> cases = {
      {"#yyyy#", kLastDate - kToday + 1, error::kOverflow},
      {"#yyyy#", kFirstDate - kToday - 1, error::kOverflow},
      {"#yyyy#", std::numeric_limits<double>::infinity(), error::kOverflow},
      {"#yyyy#", nan, error::kInvalidArgument},
      {prefix(32765) + "#d#", std::nullopt, error::kOverflow},  // second mark at 32,768
      {prefix(32766) + "##", std::nullopt, error::kOverflow},   // first mark at 32,767
      {prefix(32766) + "# and no other", std::nullopt, error::kOverflow},
  };
  for (const auto& [subject, offset, number] : cases) {
    std::string text = subject;
    const Result<std::string> result = FillDateTag(text, offset, kToday, CLocale());
    ASSERT_FALSE(result.ok()) << subject.substr(0, 9) << " offset " << offset.value_or(0);
    EXPECT_EQ(result.status().number(), number) << subject.size() << " bytes";
    EXPECT_EQ(text, subject);
  }
  for (const std::string& fine : {prefix(32765) + "##", prefix(30000) + "# only", prefix(99999)}) {
    std::string text = fine;
    EXPECT_TRUE(FillDateTag(text, std::nullopt, kToday, CLocale()).ok()) << fine.size();
  }
  std::string last_day = "#yyyy-mm-dd#";
  EXPECT_EQ(*FillDateTag(last_day, kLastDate - kToday, kToday, CLocale()), "9999-12-31");
}

}  // namespace
}  // namespace webletter
