// Dates and the subject's date tag: a date in range always formats and its calendar day and
// time convert back to it, one out of range fails; a tag that fails leaves the subject as it
// was, and without two marks nothing changes.
//
// Input fields (NUL-separated): format, date, subject, offset in days ("" for none), today.
#include <cmath>
#include <optional>
#include <string>

#include "base/standard_messages.h"
#include "fuzz_fields.h"
#include "services/dates/calendar.h"
#include "services/dates/date_format.h"
#include "services/dates/date_tag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 5);
  auto number = [&](std::size_t i, double empty) {
    return fields[i].empty() ? empty : std::strtod(std::string(fields[i]).c_str(), nullptr);
  };
  static const LocaleText locale = LocaleText::FromCurrentLocale();
  const double date = number(1, 45000.5);
  const Result<CivilDateTime> civil = CivilFromDate(date);
  const Result<std::string> text = FormatDate(date, fields[0], locale);
  Check(text.status() == civil.status(), "formatting fails exactly where converting fails");
  Check(civil.ok() || std::isnan(date) || date < kFirstDate || date >= kLastDate,
        "a date inside the range converts");
  if (civil.ok()) {
    const double day = DateFromCivil(civil->year, civil->month, civil->day);
    const double time = (civil->hour * 3600 + civil->minute * 60 + civil->second) / 86400.0;
    Check(std::abs(day + time - date) <= 0.6 / 86400 && time < 1, "day and time convert back");
  }

  std::string subject(fields[2]);
  const std::string before = subject;
  const std::optional<double> offset =
      fields[3].empty() ? std::nullopt : std::optional<double>(number(3, 0));
  const Result<std::string> filled =
      FillDateTag(subject, offset, std::floor(number(4, 45000)), locale);
  Check(filled.ok() ? *filled == subject : subject == before, "a failed tag leaves the subject");
  const std::size_t first = before.find('#');
  if (first == before.npos || before.find('#', first + 1) == before.npos) {
    Check(subject == before, "a subject without two marks stays as it was", subject);
  }
  return 0;
}
