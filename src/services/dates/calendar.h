// Dates as the program counts them, and as the calendar shows them. A date is a count of days
// since 30 December 1899 as a double: whole days plus a fraction for the time of day. The count
// runs straight on through 30 December 1899, so -1.25 is 28 December 1899 at 18:00 (a quarter
// day before -1), and adding days to a date always moves it by that much. Times are rounded to
// the nearest second. Dates run from 1 January 100 to 31 December 9999 at 23:59:59, in the
// proleptic Gregorian calendar.
#ifndef WEBLETTER_SERVICES_DATES_CALENDAR_H_
#define WEBLETTER_SERVICES_DATES_CALENDAR_H_

#include <cstddef>

#include "base/status.h"

namespace webletter {

// A date and time of the proleptic Gregorian calendar, as the calendar shows it.
struct CivilDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;    // 0..23
  int minute = 0;
  int second = 0;
  int weekday = 6;      // 0 = Sunday .. 6 = Saturday
  int day_of_year = 1;  // 1..366

  // The places of the weekday and the month in LocaleText's arrays of names.
  std::size_t WeekdayIndex() const { return static_cast<std::size_t>(weekday); }
  std::size_t MonthIndex() const { return static_cast<std::size_t>(month - 1); }
};

inline constexpr double kFirstDate = -657434.0;  // 1 January 100
inline constexpr double kLastDate = 2958465.0;   // 31 December 9999 (its whole day counts)

// The date of a calendar day at midnight. No range check: the caller gives a real day.
double DateFromCivil(int year, int month, int day);

// The calendar day and time of a date. Fails with error::kOverflow for a date outside the range
// or infinite, and with error::kInvalidArgument for a NaN.
Result<CivilDateTime> CivilFromDate(double date);

// The current local date and time, to the second.
CivilDateTime LocalNow();

// Today's local date at midnight.
double LocalToday();

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_DATES_CALENDAR_H_
