// The date-format engine behind the subject's date tag: turns a date into text by a format text
// of the classic date-formatting language (d, dd, ddd, dddd, ddddd, dddddd, w, ww, m, mm, mmm,
// mmmm, q, y, yy, yyyy, h, hh, n, nn, s, ss, ttttt, c, AM/PM, am/pm, A/P, a/p, AMPM, "/", ":",
// \x and "text"), with weeks starting on Sunday and week 1 being the week that holds 1 January.
// A format that is one of the names General Date, Long Date, Medium Date, Short Date, Long Time,
// Medium Time or Short Time (in any letter case) gives that form. AMPM gives "AM" and "PM" where
// the locale has no markers of its own.
//
// A date is a count of days since 30 December 1899 as a double: whole days plus a fraction for
// the time of day. The count runs straight on through 30 December 1899, so -1.25 is 28 December
// 1899 at 18:00 (a quarter day before -1), and adding days to a date always moves it by that
// much. Times are rounded to the nearest second. Dates run from 1 January 100 to 31 December
// 9999 at 23:59:59.
#ifndef WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_
#define WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_

#include <string>
#include <string_view>

#include "base/status.h"
#include "services/dates/locale_text.h"

namespace webletter {

inline constexpr double kFirstDate = -657434.0;  // 1 January 100
inline constexpr double kLastDate = 2958465.0;   // 31 December 9999 (its whole day counts)

// The date of a calendar day at midnight. No range check: the caller gives a real day.
double DateFromCivil(int year, int month, int day);

// The calendar day and time of a date. Fails with error::kOverflow for a date outside the range
// or infinite, and with error::kInvalidArgument for a NaN.
Result<CivilDateTime> CivilFromDate(double date);

// Today's local date at midnight.
double LocalToday();

// `date` as text in `format`, with names, forms and separators from `locale`. An empty format
// gives the general form: the short date, then a blank and the long time when the date has a
// time of day. Fails as CivilFromDate does.
Result<std::string> FormatDate(double date, std::string_view format, const LocaleText& locale);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_
