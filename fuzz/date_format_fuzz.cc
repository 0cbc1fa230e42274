// Dates and the subject's date tag: a date in range always formats, and its calendar day and
// time convert back to it; a date out of range overflows; a tag is replaced by the date in its
// format, and a tag that fails leaves the subject as it was.
//
// Input fields (NUL-separated): format, date, subject, offset in days ("" for none), today, a
// count of characters put before the subject, then the locale's short date, long date and long
// time forms, AM and PM markers, date and time separators ("" for the C locale's).
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "fuzz_fields.h"
#include "platform/standard_messages.h"
#include "services/date_format.h"
#include "services/date_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 13);
  auto number = [&](std::size_t i, double empty) {
    return fields[i].empty() ? empty : std::strtod(std::string(fields[i]).c_str(), nullptr);
  };
  static const LocaleText c_locale = LocaleText::FromCurrentLocale();
  LocaleText locale = c_locale;
  std::string* const texts[] = {
      &locale.short_date_form, &locale.long_date_form, &locale.long_time_form, &locale.am_marker,
      &locale.pm_marker,       &locale.date_separator, &locale.time_separator};
  for (std::size_t i = 0; i < 7; ++i) {
    if (!fields[6 + i].empty()) *texts[i] = fields[6 + i];
  }

  const double date = number(1, 45000.5);
  const Result<CivilDateTime> civil = CivilFromDate(date);
  const Result<std::string> text = FormatDate(date, fields[0], locale);
  Check(text.status().number() == civil.status().number(), "formatting fails as converting");
  const int expected = std::isnan(date)                                    ? error::kInvalidArgument
                       : date >= kFirstDate && date <= kLastDate + 0.99999 ? 0
                       : date < kFirstDate - 0.00001 || date >= kLastDate + 1
                           ? error::kOverflow
                           : civil.status().number();
  Check(civil.status().number() == expected, "dates in range convert, others overflow");
  if (civil.ok()) {
    const double day = DateFromCivil(civil->year, civil->month, civil->day);
    const double time = (civil->hour * 3600 + civil->minute * 60 + civil->second) / 86400.0;
    Check(std::abs(day + time - date) <= 0.6 / 86400 && time < 1, "day and time convert back");
    Check(civil->weekday == ((static_cast<long>(day) + 6) % 7 + 7) % 7 &&
              civil->day_of_year == day - DateFromCivil(civil->year, 1, 1) + 1,
          "weekday and day of the year");
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d", civil->year, civil->month,
                  civil->day, civil->hour, civil->minute, civil->second);
    Check(*FormatDate(date, "yyyymmddhhnnss", locale) == digits, "the date's fields", digits);
  }

  std::string subject =
      std::string(std::strtoul(std::string(fields[5]).c_str(), nullptr, 10) % 40000, 'x');
  subject += fields[2];
  const std::string before = subject;
  const std::optional<double> offset =
      fields[3].empty() ? std::nullopt : std::optional<double>(number(3, 0));
  const double today = std::floor(number(4, 45000));
  const Result<std::string> filled = FillDateTag(subject, offset, today, locale);
  if (!filled.ok()) {
    Check(subject == before && (filled.status().number() == error::kOverflow ||
                                filled.status().number() == error::kInvalidArgument),
          "a tag that fails leaves the subject as it was");
    return 0;
  }
  Check(*filled == subject, "the result is the changed subject");
  const std::size_t first = before.find('#'), second = before.find('#', first + 1);
  if (second == std::string::npos) {
    Check(subject == before, "a subject without two marks stays as it was", subject);
  } else if (before.find('#', second + 1) == std::string::npos) {
    const std::string format = before.substr(first + 1, second - first - 1);
    const Result<std::string> tag = FormatDate(today + offset.value_or(0), format, locale);
    Check(tag.ok() && subject == before.substr(0, first) + *tag + before.substr(second + 1),
          "the tag is replaced by the date in its format", subject);
  }
  return 0;
}
