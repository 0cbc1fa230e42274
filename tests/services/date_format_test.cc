#include "services/date_format.h"

#include <gtest/gtest.h>

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

using testing::CLocale;
using testing::GermanLocale;

constexpr double kSecond = 1.0 / 86400.0;

double At(int year, int month, int day, int hour = 0, int minute = 0) {
  return DateFromCivil(year, month, day) + (hour * 60 + minute) * 60 * kSecond;
}

std::string Format(double date, std::string_view format, const LocaleText& locale = CLocale()) {
  const Result<std::string> text = FormatDate(date, format, locale);
  EXPECT_TRUE(text.ok()) << "format \"" << format << "\" failed with " << text.status().number();
  return text.ok() ? *text : "<failed>";
}

using FormatCases = std::vector<std::pair<std::string_view, std::string_view>>;

// 1 January 1900 (a Monday) at 12:36, the date of the examples observed on the classic platform.
const double kNewYear1900 = At(1900, 1, 1, 12, 36);

TEST(DateFormatTest, TokensInTheCLocale) {
  const FormatCases cases = {
      {"dd mm yyyy hh:mm:ss", "01 01 1900 12:36:00"},  // the observed examples
      {"hh :mm:mm", "12 :36:01"},
      {"mm :ss:mm", "01 :00:01"},
      {"dd :mm:nn", "01 :01:36"},
      {"d dd ddd dddd", "1 01 Mon Monday"},  // runs are greedy, the rest starts a new token
      {"ddddd|dddddd|ddddddd", "01/01/00|Monday, January 1, 1900|Monday, January 1, 19001"},
      {"w ww www", "2 1 12"},
      {"m mm mmm mmmm mmmmm", "1 01 Jan January January1"},
      {"q qq y yy yyy yyyy yyyyy", "1 11 1 00 001 1900 19001"},
      {"h:n:s hhh nnn sss", "12:36:0 1212 3636 000"},
      {"ttttt|c", "12:36:00|01/01/00 12:36:00"},
      {"", "01/01/00 12:36:00"},
      {"hh AM/PM h am/pm h A/P h AMPM", "12 PM 12 pm 12 P 12 PM"},
      {"hh dd mm", "12 01 01"},  // a day token cancels minutes
      {"h yyyy mm", "12 1900 36"},
      {"hh mmm mm", "12 Jan 36"},
      {"DD-MM-YYYY HH:NN:SS", "01-01-1900 12:36:00"},
      {"x.,;- t tt", "x.,;- t tt"},
      {R"(\d\m\y "dd mm" \\)", R"(dmy dd mm \)"},
      {R"("unclosed dd)", "unclosed dd"},
      {"dd\\", "01\\"},
      {"Grüße \\ü dd", "Grüße ü 01"},
  };
  for (const auto& [format, expected] : cases) {
    EXPECT_EQ(Format(kNewYear1900, format), expected) << "format \"" << format << "\"";
  }
}

TEST(DateFormatTest, TokensInAGermanLocale) {
  const FormatCases cases = {
      {"dddd, d. mmmm yyyy", "Montag, 1. Januar 1900"},
      {"ddd mmm", "Mo Jan"},
      {"dd/mm/yyyy hh:nn", "01.01.1900 12:36"},
      {"c", "01.01.1900 12:36:00"},
      {"hh AMPM", "12 "},
  };
  for (const auto& [format, expected] : cases) {
    EXPECT_EQ(Format(kNewYear1900, format, GermanLocale()), expected) << "format " << format;
  }
  EXPECT_EQ(Format(At(2024, 3, 1), "mmmm mmm", GermanLocale()), "März Mär");
  EXPECT_EQ(Format(At(2024, 3, 1), "", GermanLocale()), "01.03.2024");
}

TEST(DateFormatTest, TwelveHourClockAndWeeksStartingOnSunday) {
  EXPECT_EQ(Format(At(2024, 3, 10, 0, 5), "h:nn AM/PM"), "12:05 AM");
  EXPECT_EQ(Format(At(2024, 3, 10, 12, 0), "h:nn AM/PM"), "12:00 PM");
  EXPECT_EQ(Format(At(2024, 3, 10, 13, 7), "hh a/p"), "01 p");
  // Week 1 holds 1 January; week 54 is 31 December of a leap year starting on a Saturday.
  EXPECT_EQ(Format(At(2000, 1, 1), "w ww"), "7 1");
  EXPECT_EQ(Format(At(2000, 1, 2), "w ww"), "1 2");
  EXPECT_EQ(Format(At(2000, 12, 31), "w ww"), "1 54");
  EXPECT_EQ(Format(At(2023, 1, 1), "w ww"), "1 1");
}

// The calendar agrees with the C library's over the whole range (gmtime counts the proleptic
// Gregorian calendar too; %U is the Sunday-first week that starts with the first Sunday).
TEST(DateFormatTest, CalendarAgreesWithTheCLibraryOverTheWholeRange) {
  for (auto day = static_cast<std::int64_t>(kFirstDate); day <= kLastDate; day += 211) {
    const auto time = static_cast<std::time_t>((day - 25569) * 86400);
    std::tm tm{};
    ASSERT_NE(gmtime_r(&time, &tm), nullptr);
    char week[8];
    std::strftime(week, sizeof week, "%U", &tm);
    const int first_january_weekday = ((tm.tm_wday - tm.tm_yday) % 7 + 7) % 7;
    const int expected_week = std::stoi(week) + (first_january_weekday != 0 ? 1 : 0);
    char line[96];
    std::snprintf(line, sizeof line, "%02d %02d %04d %d %d %d", tm.tm_mday, tm.tm_mon + 1,
                  tm.tm_year + 1900, tm.tm_yday + 1, tm.tm_wday + 1, expected_week);
    ASSERT_EQ(Format(static_cast<double>(day), "dd mm yyyy y w ww"), line) << "day " << day;
  }
}

// Times round to the nearest second. Dates before 30 December 1899 count on in a straight line:
// -1.25 is a quarter day before -1, not a time of day after it.
TEST(DateFormatTest, TimeOfDayRoundsAndNegativeDatesCountStraightOn) {
  const double day = At(2024, 3, 10);
  const std::vector<std::pair<double, std::string_view>> cases = {
      {day + 1.0 / 3.0, "2024-03-10 08:00:00"},
      {day + 0.4 * kSecond, "2024-03-10 00:00:00"},
      {day + 0.6 * kSecond, "2024-03-10 00:00:01"},
      {day + 1.0 - 0.4 * kSecond, "2024-03-11 00:00:00"},
      {-0.5, "1899-12-29 12:00:00"},
      {-1.25, "1899-12-28 18:00:00"},
  };
  for (const auto& [date, expected] : cases) {
    EXPECT_EQ(Format(date, "yyyy-mm-dd hh:nn:ss"), expected) << "date " << date;
  }
}

TEST(DateFormatTest, RangeRunsFromYear100ToYear9999) {
  EXPECT_EQ(Format(kFirstDate - 0.4 * kSecond, "yyyy-mm-dd"), "0100-01-01");
  EXPECT_EQ(Format(kLastDate + 86399 * kSecond, "yyyy-mm-dd hh:nn:ss"), "9999-12-31 23:59:59");
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<double, int>> failures = {
      {kFirstDate - kSecond, error::kOverflow},
      {kLastDate + 1 - 0.4 * kSecond, error::kOverflow},
      {-1e300, error::kOverflow},
      {infinity, error::kOverflow},
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
