#include "services/date_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "platform/standard_messages.h"
#include "services/date_test_locales.h"

namespace webletter {
namespace {

using testing::GermanLocale;
using testing::LocaleNamed;

constexpr double kSecond = 1.0 / 86400.0;

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return DateFromCivil(year, month, day) + (hour * 3600 + minute * 60 + second) * kSecond;
}

const LocaleText& CLocale() {
  static const LocaleText text = LocaleNamed("C.UTF-8");
  return text;
}

std::string Format(double date, std::string_view format, const LocaleText& locale = CLocale()) {
  const Result<std::string> text = FormatDate(date, format, locale);
  EXPECT_TRUE(text.ok()) << "format \"" << format << "\" failed with " << text.status().number();
  return text.ok() ? *text : "<failed>";
}

struct FormatCase {
  std::string_view format;
  std::string_view expected;
};

// 1 January 1900 (a Monday) at 12:36, the date of the observed examples.
const double kNewYear1900 = At(1900, 1, 1, 12, 36);

TEST(DateFormatTest, SerialCountsDaysSince30December1899) {
  EXPECT_EQ(DateFromCivil(1899, 12, 30), 0.0);
  EXPECT_EQ(DateFromCivil(1900, 1, 1), 2.0);
  EXPECT_EQ(DateFromCivil(2000, 1, 1), 36526.0);
  EXPECT_EQ(DateFromCivil(100, 1, 1), kFirstDate);
  EXPECT_EQ(DateFromCivil(9999, 12, 31), kLastDate);
}

TEST(DateFormatTest, TokensInTheCLocale) {
  const std::vector<FormatCase> cases = {
      // The examples observed on the classic platform.
      {"dd mm yyyy hh:mm:ss", "01 01 1900 12:36:00"},
      {"hh :mm:mm", "12 :36:01"},
      {"mm :ss:mm", "01 :00:01"},
      {"dd :mm:nn", "01 :01:36"},
      // Days, weekdays, weeks.
      {"d dd ddd dddd", "1 01 Mon Monday"},
      {"ddddd", "01/01/00"},
      {"dddddd", "Monday, January 1, 1900"},
      {"ddddddd", "Monday, January 1, 19001"},
      {"w ww www", "2 1 12"},
      // Months, quarters, years.
      {"m mm mmm mmmm mmmmm", "1 01 Jan January January1"},
      {"q qq", "1 11"},
      {"y yy yyy yyyy yyyyy", "1 00 001 1900 19001"},
      // Time.
      {"h:n:s", "12:36:0"},
      {"hh:nn:ss", "12:36:00"},
      {"hhh nnn sss", "1212 3636 000"},
      {"ttttt", "12:36:00"},
      {"tttttt", "12:36:00t"},
      {"c", "01/01/00 12:36:00"},
      {"", "01/01/00 12:36:00"},
      {"hh AM/PM", "12 PM"},
      {"h am/pm", "12 pm"},
      {"h A/P", "12 P"},
      {"h a/p", "12 p"},
      {"h AMPM", "12 PM"},
      {"h Am/pM", "12 pM"},
      // Minutes only directly after an hour; a day token cancels the rule.
      {"hh mm mm", "12 36 01"},
      {"hh dd mm", "12 01 01"},
      {"h yyyy mm", "12 1900 36"},
      {"hh mmm mm", "12 Jan 36"},
      // Letter case, literals, escapes, quoted text.
      {"DD-MM-YYYY HH:NN:SS", "01-01-1900 12:36:00"},
      {"Dd/mM/yY", "01/01/00"},
      {"yyyy-mm-ddThh:nn", "1900-01-01T12:36"},
      {"x.,;- t tt", "x.,;- t tt"},
      {R"(\d\m\y "dd mm" \\)", R"(dmy dd mm \)"},
      {R"("unclosed dd)", "unclosed dd"},
      {"dd\\", "01\\"},
      {"Grüße \\ü dd", "Grüße ü 01"},
      {"\xE2\x82\xAC dd", "\xE2\x82\xAC 01"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(Format(kNewYear1900, c.format), c.expected) << "format \"" << c.format << "\"";
  }
}

TEST(DateFormatTest, TokensInAGermanLocale) {
  const LocaleText german = GermanLocale();
  const std::vector<FormatCase> cases = {
      {"dddd, d. mmmm yyyy", "Montag, 1. Januar 1900"},
      {"ddd mmm", "Mo Jan"},
      {"dd/mm/yyyy hh:nn", "01.01.1900 12:36"},
      {"ddddd", "01.01.1900"},
      {"dddddd", "Montag, 1. Januar 1900"},
      {"c", "01.01.1900 12:36:00"},
      {"", "01.01.1900 12:36:00"},
      {"hh AMPM", "12 "},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(Format(kNewYear1900, c.format, german), c.expected)
        << "format \"" << c.format << "\"";
  }
  EXPECT_EQ(Format(At(2024, 3, 1), "mmmm mmm", german), "März Mär");
  EXPECT_EQ(Format(At(2024, 3, 1), "", german), "01.03.2024");
}

TEST(DateFormatTest, TwelveHourClock) {
  const std::vector<std::pair<double, std::string_view>> cases = {
      {At(2024, 3, 10, 0, 5), "12:05 AM"},   {At(2024, 3, 10, 11, 59), "11:59 AM"},
      {At(2024, 3, 10, 12, 0), "12:00 PM"},  {At(2024, 3, 10, 13, 7), "1:07 PM"},
      {At(2024, 3, 10, 23, 59), "11:59 PM"},
  };
  for (const auto& [date, expected] : cases) {
    EXPECT_EQ(Format(date, "h:nn AM/PM"), expected);
  }
  EXPECT_EQ(Format(At(2024, 3, 10, 13, 7), "hh a/p"), "01 p");
}

TEST(DateFormatTest, WeeksStartOnSundayAndWeekOneHoldsFirstJanuary) {
  struct WeekCase {
    int year, month, day;
    std::string_view expected;  // "w ww"
  };
  const std::vector<WeekCase> cases = {
      {2000, 1, 1, "7 1"},     // a Saturday in week 1
      {2000, 1, 2, "1 2"},     // the Sunday after it starts week 2
      {2000, 12, 30, "7 53"},  //
      {2000, 12, 31, "1 54"},  // leap year starting on a Saturday
      {2028, 12, 31, "1 54"},  //
      {2023, 1, 1, "1 1"},     // a year starting on Sunday
      {2023, 1, 7, "7 1"},     //
      {2023, 1, 8, "1 2"},     //
      {2024, 12, 31, "3 53"},  //
  };
  for (const WeekCase& c : cases) {
    EXPECT_EQ(Format(At(c.year, c.month, c.day), "w ww"), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

// The calendar agrees with the C library's over the whole range (gmtime counts the proleptic
// Gregorian calendar too; %U is the Sunday-first week that starts with the first Sunday).
TEST(DateFormatTest, CalendarAgreesWithTheCLibraryOverTheWholeRange) {
  const auto first = static_cast<std::int64_t>(kFirstDate);
  const auto last = static_cast<std::int64_t>(kLastDate);
  for (std::int64_t day = first; day <= last; day += 211) {
    const std::time_t time = static_cast<std::time_t>((day - 25569) * 86400);
    std::tm tm{};
    ASSERT_NE(gmtime_r(&time, &tm), nullptr);
    const std::string text = Format(static_cast<double>(day), "dd mm yyyy y w ww");
    char week[8];
    std::strftime(week, sizeof week, "%U", &tm);
    const int first_january_weekday = ((tm.tm_wday - tm.tm_yday) % 7 + 7) % 7;
    const int expected_week = std::stoi(week) + (first_january_weekday != 0 ? 1 : 0);
    char line[96];
    std::snprintf(line, sizeof line, "%02d %02d %04d %d %d %d", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_yday + 1, tm.tm_wday + 1, expected_week);
    ASSERT_EQ(text, line) << "day " << day;
  }
}

TEST(DateFormatTest, TimeOfDayIsRoundedToTheNearestSecond) {
  const double day = At(2024, 3, 10);
  const std::vector<std::pair<double, std::string_view>> cases = {
      {0.5, "10 12:00:00"},
      {0.25, "10 06:00:00"},
      {1.0 / 3.0, "10 08:00:00"},
      {2.0 / 3.0, "10 16:00:00"},
      {0.75, "10 18:00:00"},
      {0.4 * kSecond, "10 00:00:00"},
      {0.6 * kSecond, "10 00:00:01"},
      {1.0 - 2 * kSecond, "10 23:59:58"},
      {1.0 - 0.4 * kSecond, "11 00:00:00"},
      {1.5, "11 12:00:00"},
  };
  for (const auto& [fraction, expected] : cases) {
    EXPECT_EQ(Format(day + fraction, "dd hh:nn:ss"), expected) << "fraction " << fraction;
  }
}

// Dates before 30 December 1899 count on in a straight line: the fraction of -1.25 is a quarter
// day before -1, not a time of day after it.
TEST(DateFormatTest, NegativeDatesCountStraightOn) {
  const std::vector<std::pair<double, std::string_view>> cases = {
      {-0.5, "1899-12-29 12:00"},  {-1.0, "1899-12-29 00:00"},     {-1.25, "1899-12-28 18:00"},
      {-0.25, "1899-12-29 18:00"}, {-36522.0, "1800-01-01 00:00"},
  };
  for (const auto& [date, expected] : cases) {
    EXPECT_EQ(Format(date, "yyyy-mm-dd hh:nn"), expected) << "date " << date;
  }
}

TEST(DateFormatTest, RangeRunsFromYear100ToYear9999) {
  EXPECT_EQ(Format(kFirstDate, "yyyy-mm-dd"), "0100-01-01");
  EXPECT_EQ(Format(kFirstDate - 0.4 * kSecond, "yyyy-mm-dd"), "0100-01-01");
  EXPECT_EQ(Format(kLastDate + 86399 * kSecond, "yyyy-mm-dd hh:nn:ss"), "9999-12-31 23:59:59");

  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, int>> failures = {
      {kFirstDate - kSecond, error::kOverflow},
      {kFirstDate - 1, error::kOverflow},
      {kLastDate + 1, error::kOverflow},
      {kLastDate + 1 - 0.4 * kSecond, error::kOverflow},
      {1e300, error::kOverflow},
      {-1e300, error::kOverflow},
      {infinity, error::kOverflow},
      {-infinity, error::kOverflow},
      {std::numeric_limits<double>::quiet_NaN(), error::kInvalidArgument},
  };
  for (const auto& [date, number] : failures) {
    const Result<std::string> text = FormatDate(date, "yyyy", CLocale());
    ASSERT_FALSE(text.ok()) << "date " << date;
    EXPECT_EQ(text.status().number(), number) << "date " << date;
  }
}

}  // namespace
}  // namespace webletter
