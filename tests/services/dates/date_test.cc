// The date-format engine, the subject's date tag and the locale's date and time texts.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/standard_messages.h"
#include "services/dates/calendar.h"
#include "services/dates/date_format.h"
#include "services/dates/date_tag.h"
#include "services/dates/locale_text.h"
#include "support/temp_dir.h"

// With LOCPATH set, glibc's newlocale keeps a copy of the path for good (libp11-kit calls it at
// load time).
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

namespace webletter {
namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr int kOk = 0;

double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return DateFromCivil(year, month, day) + ((hour * 60 + minute) * 60 + second) * kSecond;
}

// The texts of an LC_TIME locale (ctest compiles those of the tests into LOCPATH).
LocaleText LocaleNamed(const char* name) {
  const std::string previous = std::setlocale(LC_TIME, nullptr);
  EXPECT_NE(std::setlocale(LC_TIME, name), nullptr) << name << " is missing from LOCPATH";
  LocaleText text = LocaleText::FromCurrentLocale();
  std::setlocale(LC_TIME, previous.c_str());
  return text;
}

const LocaleText& English() {
  static const LocaleText text = LocaleNamed("C.UTF-8");
  return text;
}

// German names, with markers, forms and separators that differ from every real locale's.
LocaleText Custom() {
  LocaleText text = LocaleNamed("de_DE.ISO-8859-1");
  text.am_marker = "vm";
  text.pm_marker = "nm";
  text.long_time_form = "%H.%M.%S";
  text.date_separator = "-";
  text.time_separator = ".";
  return text;
}

// "yyyy-mm-dd[ hh:nn[:ss]][ +Ss]", or a day number ("-1.25").
double DateOf(const std::string& text) {
  std::istringstream words(text);
  std::string date, word;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  words >> date;
  if (std::sscanf(date.c_str(), "%d-%d-%d", &year, &month, &day) < 3) return std::stod(date);
  double shift = 0;
  while (words >> word) {
    if (word.back() == 's')
      shift = std::stod(word) * kSecond;
    else
      std::sscanf(word.c_str(), "%d:%d:%d", &hour, &minute, &second);
  }
  return At(year, month, day, hour, minute, second) + shift;
}

TEST(DateFormatTest, FormatsEveryTokenFamily) {
  const std::map<std::string, LocaleText> locales = {
      {"en", English()}, {"de", LocaleNamed("de_DE.ISO-8859-1")}, {"custom", Custom()}};
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/dates/date_format_cases.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    const auto& [date, locale, format, expected] = std::tie(row[0], row[1], row[2], row[3]);
    SCOPED_TRACE("date " + date + " format \"" + format + "\"");
    const Result<std::string> text = FormatDate(DateOf(date), format, locales.at(locale));
    ASSERT_EQ(text.status().number(), kOk);
    EXPECT_EQ(*text, expected);
  }
}

// gmtime counts the proleptic Gregorian calendar too; %U is the Sunday-first week that starts
// with the first Sunday, one less than ours when 1 January is not a Sunday.
TEST(CalendarTest, AgreesWithTheCLibraryOverTheWholeRange) {
  for (auto day = static_cast<std::int64_t>(kFirstDate);
       day <= static_cast<std::int64_t>(kLastDate); day += 211) {
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
    ASSERT_EQ(*FormatDate(static_cast<double>(day), "dd mm yyyy y w ww", English()), line)
        << "day " << day;
    ASSERT_EQ(DateFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday), day) << line;
  }
}

// The local clock as the C library reads it, and today in the calendar's count.
TEST(CalendarTest, NowIsTheLocalClock) {
  std::time_t second = 0;
  CivilDateTime now;
  do {  // both readings within one second
    second = std::time(nullptr);
    now = LocalNow();
  } while (second != std::time(nullptr));
  std::tm local{};
  localtime_r(&second, &local);
  char expected[40];
  std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S %w %j", &local);
  EXPECT_EQ(English().Render("%Y-%m-%d %H:%M:%S %w %j", now), expected);
  EXPECT_EQ(*FormatDate(LocalToday(), "yyyy-mm-dd", English()), std::string(expected, 10));
}

// Mark positions count characters, "é" being two bytes.
std::string Characters(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += "é";
  return text;
}

// A subject, the offset in days, the subject afterwards and the failure's number (kOk for none).
using TagCase = std::tuple<std::string, std::optional<double>, std::string, int>;
constexpr double kToday = 45361;  // 10 March 2024

// Success changes the caller's text too; a failure leaves it as it was.
void ExpectFilled(const std::vector<TagCase>& cases) {
  for (const auto& [subject, offset, expected, number] : cases) {
    SCOPED_TRACE(subject.substr(0, 30) + " offset " + std::to_string(offset.value_or(0)));
    std::string text = subject;
    const Result<std::string> result = FillDateTag(text, offset, kToday, English());
    ASSERT_EQ(result.status().number(), number);
    EXPECT_EQ(text, expected);
    if (result.ok()) {
      EXPECT_EQ(*result, expected);
    }
  }
}

TEST(DateTagTest, FillsTheFirstTagAndItsExactCopies) {
  const std::string limit = Characters(32765);
  ExpectFilled({
      {"News of #yyyy-mm-dd# for you", {}, "News of 2024-03-10 for you", kOk},
      {"#dd# and #dd#, #DD# and #mm#", {}, "10 and 10, #DD# and #mm#", kOk},
      {"#dd#dd#", {}, "10dd#", kOk},
      {"no tag here", {}, "no tag here", kOk},
      {"one # only", {}, "one # only", kOk},
      {"Grüße vom #dd.mm.# – ##", {}, "Grüße vom 10.03. – ##", kOk},
      {"##", {}, "03/10/24", kOk},
      {"#hh:nn:ss#", {}, "00:00:00", kOk},
      {"#yyyy-mm-dd#", 1.0, "2024-03-11", kOk},
      {"#yyyy-mm-dd#", -10.0, "2024-02-29", kOk},
      {"#dd hh:nn#", 0.5, "10 12:00", kOk},
      {"#yyyy-mm-dd#", kLastDate - kToday, "9999-12-31", kOk},
      {"#yyyy-mm-dd#", kFirstDate - kToday - 0.4 * kSecond, "0100-01-01", kOk},
      {limit + "##", {}, limit + "03/10/24", kOk},  // the second mark at 32,767
      {Characters(30000) + "# only", {}, Characters(30000) + "# only", kOk},
  });
}

TEST(DateTagTest, RefusesDatesAndMarksOutOfRange) {
  const std::string past = Characters(32766);
  ExpectFilled({
      {"#yyyy#", kLastDate - kToday + 1 - 0.4 * kSecond, "#yyyy#", error::kOverflow},
      {"#yyyy#", kFirstDate - kToday - 0.6 * kSecond, "#yyyy#", error::kOverflow},
      {"#yyyy#", -1e300, "#yyyy#", error::kOverflow},
      {"#yyyy#", std::numeric_limits<double>::infinity(), "#yyyy#", error::kOverflow},
      {"#yyyy#", std::nan(""), "#yyyy#", error::kInvalidArgument},
      {Characters(32765) + "#d#", {}, Characters(32765) + "#d#", error::kOverflow},
      {past + "##", {}, past + "##", error::kOverflow},  // the first mark at 32,767
      {past + "# and no other", {}, past + "# and no other", error::kOverflow},
  });
}

TEST(LocaleTextTest, RendersStrftimeConversionsFromItsOwnNames) {
  const CivilDateTime afternoon{1900, 1, 1, 13, 5, 9, /*weekday=*/1, /*day_of_year=*/1};
  const CivilDateTime sunday{2024, 3, 10, 12, 7, 0, /*weekday=*/0, /*day_of_year=*/70};
  const std::vector<std::tuple<const CivilDateTime*, std::string_view, std::string_view>> cases = {
      {&afternoon, "%a %A %b %h %B %^a", "Mo Montag Jan Jan Januar Mo"},
      {&afternoon, "%d|%-d|%e|%_d|%0e|%-^d|%10d", "01|1| 1| 1|01|1|01"},
      {&afternoon, "%m %y %Y %C %j %u %w", "01 00 1900 19 001 1 1"},
      {&afternoon, "%H %k %I %l %M %S %p %P", "13 13 01  1 05 09 nm nm"},
      {&afternoon, "%D|%F|%T|%R|%r", "01/01/00|1900-01-01|13:05:09|13:05|01:05:09 nm"},
      {&afternoon, "%Ey %Od %% %n%t %Q ends with %", "00 01 % \n\t %Q ends with %"},
      {&sunday, "%u %w %j %I %l %p %e %-m %_m %k", "7 0 070 12 12 nm 10 3  3 12"},
  };
  for (const auto& [when, form, expected] : cases) {
    EXPECT_EQ(Custom().Render(form, *when), expected) << form;
  }
}

// Forms, separators and names of compiled locales, in UTF-8 whatever the locale's codeset.
TEST(LocaleTextTest, ReadsTheCurrentLocale) {
  const CivilDateTime when{1900, 1, 1, 13, 5, 9, /*weekday=*/1, /*day_of_year=*/1};
  for (const auto& [name, expected] : std::vector<std::pair<const char*, std::string_view>>{
           {"C", "01/01/00|Monday, January 1, 1900|13:05:09|/|:|March|AM"},
           {"de_DE.ISO-8859-1", "01.01.1900|Montag, 1. Januar 1900|13:05:09|.|:|März|"},
           {"en_US.ISO-8859-1", "01/01/1900|Monday, January 1, 1900|01:05:09 PM|/|:|March|AM"},
           {"en_GB.ISO-8859-1", "01/01/00|Monday, 1 January 1900|13:05:09|/|:|March|am"},
           {"ja_JP.EUC-JP", "1900年01月01日|1900 1月 1, 月曜日|13時05分09秒|/|:|3月|午前"},
           {"sl_SI.ISO-8859-2", "01. 01. 1900|ponedeljek, 1. januar 1900|13:05:09|.|:|marec|"}}) {
    const LocaleText text = LocaleNamed(name);
    EXPECT_EQ(text.ShortDate(when) + "|" + text.LongDate(when) + "|" + text.LongTime(when) + "|" +
                  text.date_separator + "|" + text.time_separator + "|" + text.month_names[2] +
                  "|" + text.am_marker,
              expected)
        << name;
  }
}

}  // namespace
}  // namespace webletter
