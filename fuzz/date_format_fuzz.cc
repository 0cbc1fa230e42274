// The date-format engine and the subject's date tag take any format, date and offset: nothing
// crashes and nothing is undefined; a date in range always formats into a calendar day whose
// fields are in range; calendar days convert to dates and back; a tag that fails leaves the
// subject as it was.
//
// Input fields (NUL-separated): format, date (a number as text), subject, offset in days ("" for
// none), today, characters put before the subject (a count), the locale's short date, long date
// and long time forms, its AM and PM markers, date and time separators, and a calendar day
// "year month day".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_fields.h"
#include "platform/standard_messages.h"
#include "services/date_format.h"
#include "services/date_tag.h"

namespace webletter::fuzz {
namespace {

constexpr std::size_t kMaxPadding = 40000;  // past the tag's 16-bit mark range

double Number(std::string_view text) { return std::strtod(std::string(text).c_str(), nullptr); }

// A locale in English order whose forms and markers the input may replace.
LocaleText LocaleFrom(const Fields& fields) {
  LocaleText locale;
  locale.day_names = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  locale.day_abbreviations = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  locale.month_names = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
  locale.month_abbreviations = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto pick = [&](std::size_t index, std::string_view standard) {
    return std::string(fields.size() > index ? fields[index] : standard);
  };
  locale.short_date_form = pick(6, "%m/%d/%Y");
  locale.long_date_form = pick(7, "%A, %B %-d, %Y");
  locale.long_time_form = pick(8, "%I:%M:%S %p");
  locale.am_marker = pick(9, "AM");
  locale.pm_marker = pick(10, "PM");
  locale.date_separator = pick(11, "/");
  locale.time_separator = pick(12, ":");
  return locale;
}

void CheckFieldsInRange(const CivilDateTime& when) {
  Check(when.year >= 100 && when.year <= 9999, "year in range");
  Check(when.month >= 1 && when.month <= 12, "month in range");
  Check(when.day >= 1 && when.day <= 31, "day in range");
  Check(when.hour >= 0 && when.hour <= 23, "hour in range");
  Check(when.minute >= 0 && when.minute <= 59, "minute in range");
  Check(when.second >= 0 && when.second <= 59, "second in range");
  Check(when.weekday >= 0 && when.weekday <= 6, "weekday in range");
  Check(when.day_of_year >= 1 && when.day_of_year <= 366, "day of year in range");
}

void CheckFormat(double date, std::string_view format, const LocaleText& locale) {
  const Result<std::string> text = FormatDate(date, format, locale);
  const Result<CivilDateTime> civil = CivilFromDate(date);
  Check(text.ok() == civil.ok(), "formatting fails exactly when the date is bad");
  if (std::isnan(date)) {
    Check(civil.status().number() == error::kInvalidArgument, "NaN is an invalid argument");
  } else if (date > kFirstDate + 1 && date < kLastDate - 1) {
    Check(civil.ok(), "a date well in range converts");
  } else if (!std::isfinite(date) || date < kFirstDate - 1 || date > kLastDate + 2) {
    Check(civil.status().number() == error::kOverflow, "a date out of range overflows");
  }
  if (civil.ok()) CheckFieldsInRange(*civil);
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// A calendar day becomes a date and back; its weekday and day of the year follow from the count.
void CheckCalendarDay(std::string_view text) {
  int year = 0, month = 0, day = 0;
  if (std::sscanf(std::string(text).c_str(), "%d %d %d", &year, &month, &day) != 3) return;
  year = 100 + std::abs(year % 9900);
  month = 1 + std::abs(month % 12);
  day = 1 + std::abs(day % DaysInMonth(year, month));
  const double date = DateFromCivil(year, month, day);
  const Result<CivilDateTime> civil = CivilFromDate(date);
  Check(civil.ok(), "a calendar day converts");
  Check(civil->year == year && civil->month == month && civil->day == day,
        "a calendar day converts back");
  Check(civil->hour == 0 && civil->minute == 0 && civil->second == 0, "a day starts at midnight");
  const auto days = static_cast<std::int64_t>(date);
  Check(civil->weekday == static_cast<int>(((days + 6) % 7 + 7) % 7), "weekday of the count");
  Check(civil->day_of_year == static_cast<int>(date - DateFromCivil(year, 1, 1)) + 1,
        "day of the year");
}

void CheckDateTag(const Fields& fields, const LocaleText& locale) {
  const std::size_t padding =
      static_cast<std::size_t>(std::strtoul(std::string(fields[5]).c_str(), nullptr, 10)) %
      (kMaxPadding + 1);
  std::string subject = std::string(padding, 'x') + std::string(fields[2]);
  const std::string before = subject;
  const std::optional<double> offset =
      fields[3].empty() ? std::nullopt : std::optional<double>(Number(fields[3]));
  const double today = fields[4].empty() ? 45000.0 : std::floor(Number(fields[4]));
  const Result<std::string> filled = FillDateTag(subject, offset, today, locale);
  if (filled.ok()) {
    Check(*filled == subject, "the result is the changed text");
  } else {
    Check(subject == before, "a failed tag leaves the text as it was");
  }
  if (before.find('#') == std::string::npos) {
    Check(filled.ok() && subject == before, "a text without a tag stays");
  }
}

}  // namespace
}  // namespace webletter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using namespace webletter::fuzz;
  const Fields fields(data, size);
  const LocaleText locale = LocaleFrom(fields);
  const double date = fields[1].empty() ? 45000.5 : Number(fields[1]);
  CheckFormat(date, fields[0], locale);
  CheckDateTag(fields, locale);
  CheckCalendarDay(fields[13]);
  return 0;
}
