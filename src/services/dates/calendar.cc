#include "services/dates/calendar.h"

#include <cmath>
#include <cstdint>
#include <ctime>

#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDaysFrom1970To1899 = -25569;  // 30 December 1899 counted from 1970
constexpr int kThursday = 4;                          // 1 January 1970

// Days since 1 January 1970 of a calendar day (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

CivilDateTime CivilFromDays(std::int64_t days_since_1970) {
  const std::int64_t z = days_since_1970 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;
  CivilDateTime when;
  when.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  when.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  when.year = static_cast<int>(year_of_era + era * 400 + (when.month <= 2 ? 1 : 0));
  when.weekday = static_cast<int>(((days_since_1970 % 7) + 7 + kThursday) % 7);
  when.day_of_year = static_cast<int>(days_since_1970 - DaysFromCivil(when.year, 1, 1) + 1);
  return when;
}

}  // namespace

double DateFromCivil(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, month, day) - kDaysFrom1970To1899);
}

Result<CivilDateTime> CivilFromDate(double date) {
  if (std::isnan(date)) return Status(error::kInvalidArgument);
  // A first, wide test keeps the conversion to seconds below in range; the exact one follows.
  if (!(date > kFirstDate - 1 && date < kLastDate + 2)) return Status(error::kOverflow);
  const auto seconds = static_cast<std::int64_t>(std::round(date * kSecondsPerDay));
  const std::int64_t day =
      seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
  if (day < static_cast<std::int64_t>(kFirstDate) || day > static_cast<std::int64_t>(kLastDate)) {
    return Status(error::kOverflow);
  }
  const std::int64_t second_of_day = seconds - day * kSecondsPerDay;
  CivilDateTime when = CivilFromDays(day + kDaysFrom1970To1899);
  when.hour = static_cast<int>(second_of_day / 3600);
  when.minute = static_cast<int>(second_of_day / 60 % 60);
  when.second = static_cast<int>(second_of_day % 60);
  return when;
}

CivilDateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  CivilDateTime when;
  when.year = local.tm_year + 1900;
  when.month = local.tm_mon + 1;
  when.day = local.tm_mday;
  when.hour = local.tm_hour;
  when.minute = local.tm_min;
  when.second = local.tm_sec == 60 ? 59 : local.tm_sec;
  when.weekday = local.tm_wday;
  when.day_of_year = local.tm_yday + 1;
  return when;
}

double LocalToday() {
  const CivilDateTime now = LocalNow();
  return DateFromCivil(now.year, now.month, now.day);
}

}  // namespace webletter
