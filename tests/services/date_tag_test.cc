#include "services/date_tag.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "platform/standard_messages.h"
#include "services/date_format.h"
#include "services/date_test_locales.h"

namespace webletter {
namespace {

using testing::LocaleNamed;

// Sunday 10 March 2024.
const double kToday = DateFromCivil(2024, 3, 10);

const LocaleText& CLocale() {
  static const LocaleText text = LocaleNamed("C.UTF-8");
  return text;
}

struct TagCase {
  std::string_view subject;
  std::optional<double> offset;
  std::string_view expected;
};

TEST(DateTagTest, FillsTheFirstTagAndItsCopies) {
  const std::vector<TagCase> cases = {
      {"News of #yyyy-mm-dd# for you", std::nullopt, "News of 2024-03-10 for you"},
      {"#dd# and #dd#", std::nullopt, "10 and 10"},
      {"#dd##dd#", std::nullopt, "1010"},
      {"#dd# and #mm#", std::nullopt, "10 and #mm#"},
      {"#DD# and #dd#", std::nullopt, "10 and #dd#"},
      {"a#dd#b#c", std::nullopt, "a10b#c"},
      {"#dd#dd#", std::nullopt, "10dd#"},
      {"no tag here", std::nullopt, "no tag here"},
      {"one # only", std::nullopt, "one # only"},
      {"#", std::nullopt, "#"},
      {"", std::nullopt, ""},
      {"##", std::nullopt, "03/10/24"},
      {"a##b##", std::nullopt, "a03/10/24b03/10/24"},
      {"Grüße vom #dd.mm.# – schön", std::nullopt, "Grüße vom 10.03. – schön"},
      {"#yyyy-mm-dd# #hh:nn:ss#", std::nullopt, "2024-03-10 #hh:nn:ss#"},
      {"#hh:nn:ss#", std::nullopt, "00:00:00"},
      {"#\"#\"#", std::nullopt, "\"#"},  // the format cannot hold a "#", even quoted
  };
  for (const TagCase& c : cases) {
    std::string text(c.subject);
    const Result<std::string> result = FillDateTag(text, c.offset, kToday, CLocale());
    ASSERT_TRUE(result.ok()) << c.subject;
    EXPECT_EQ(*result, c.expected) << c.subject;
    EXPECT_EQ(text, c.expected) << "the caller's text changes too: " << c.subject;
  }
}

TEST(DateTagTest, OffsetsMoveTheDateAndAddATimeOfDay) {
  const std::vector<TagCase> cases = {
      {"#yyyy-mm-dd#", 1.0, "2024-03-11"},         {"#yyyy-mm-dd#", -7.0, "2024-03-03"},
      {"#yyyy-mm-dd#", 0.0, "2024-03-10"},         {"#yyyy-mm-dd#", -10.0, "2024-02-29"},
      {"#yyyy-mm-dd#", 366.0, "2025-03-11"},       {"#dd hh#", 0.5, "10 12"},
      {"#dd hh:nn:ss#", 0.25, "10 06:00:00"},      {"#dd hh:nn#", 1.75, "11 18:00"},
      {"#dd hh:nn#", -0.25, "09 18:00"},           {"#dd hh:nn#", -7.5, "02 12:00"},
      {"#dd hh:nn:ss#", 1.0 / 3.0, "10 08:00:00"}, {"##", 0.5, "03/10/24 12:00:00"},
  };
  for (const TagCase& c : cases) {
    std::string text(c.subject);
    const Result<std::string> result = FillDateTag(text, c.offset, kToday, CLocale());
    ASSERT_TRUE(result.ok()) << c.subject << " offset " << *c.offset;
    EXPECT_EQ(*result, c.expected) << c.subject << " offset " << *c.offset;
  }
}

TEST(DateTagTest, DatesOutsideTheRangeFailAndLeaveTheTextAlone) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, int>> cases = {
      {1e7, error::kOverflow},
      {-1e7, error::kOverflow},
      {kLastDate - kToday + 1, error::kOverflow},
      {kFirstDate - kToday - 1, error::kOverflow},
      {infinity, error::kOverflow},
      {-infinity, error::kOverflow},
      {std::numeric_limits<double>::quiet_NaN(), error::kInvalidArgument},
  };
  for (const auto& [offset, number] : cases) {
    std::string text = "Subject #yyyy#";
    const Result<std::string> result = FillDateTag(text, offset, kToday, CLocale());
    ASSERT_FALSE(result.ok()) << "offset " << offset;
    EXPECT_EQ(result.status().number(), number) << "offset " << offset;
    EXPECT_EQ(text, "Subject #yyyy#");
  }
  std::string last_day = "#yyyy-mm-dd#";
  const Result<std::string> result = FillDateTag(last_day, kLastDate - kToday, kToday, CLocale());
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(*result, "9999-12-31");
}

// Mark positions count characters: "é" is two bytes but one character, so the positions here
// would be far past the limit if bytes were counted.
TEST(DateTagTest, MarkPositionsPastThe16BitRangeOverflow) {
  const auto prefix = [](std::size_t characters) {
    std::string text;
    for (std::size_t i = 0; i < characters; ++i) text += "é";
    return text;
  };
  struct PositionCase {
    std::string text;
    bool ok;
  };
  const std::vector<PositionCase> cases = {
      {prefix(32765) + "##", true},               // marks at 32,766 and 32,767
      {prefix(32765) + "#d#", false},             // second mark at 32,768
      {prefix(32766) + "##", false},              // first mark at 32,767
      {prefix(32766) + "# and no other", false},  // first mark at 32,767, no second
      {prefix(9) + "#" + prefix(40000) + "#", false},
      {prefix(30000) + "# and no other", true},
      {prefix(100000), true},
  };
  for (const PositionCase& c : cases) {
    std::string text = c.text;
    const Result<std::string> result = FillDateTag(text, std::nullopt, kToday, CLocale());
    if (c.ok) {
      EXPECT_TRUE(result.ok()) << "text of " << c.text.size() << " bytes";
    } else {
      ASSERT_FALSE(result.ok()) << "text of " << c.text.size() << " bytes";
      EXPECT_EQ(result.status().number(), error::kOverflow);
      EXPECT_EQ(text, c.text);
    }
  }
}

// Without an injected "today" the tag takes the local date at midnight, never the time of day.
TEST(DateTagTest, UsesTodaysLocalDateAtMidnight) {
  const auto today_text = [] {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text);
  };
  const std::string before = today_text();
  std::string text = "#yyyy-mm-dd# #hh:nn:ss#";
  const Result<std::string> result = FillDateTag(text);
  const std::string after = today_text();
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(*result == before + " #hh:nn:ss#" || *result == after + " #hh:nn:ss#") << *result;

  std::string time_only = "#hh:nn:ss#";
  EXPECT_EQ(*FillDateTag(time_only, std::nullopt), "00:00:00");
  std::string tomorrow = "#hh#";
  EXPECT_EQ(*FillDateTag(tomorrow, 1.5), "12");
}

}  // namespace
}  // namespace webletter
