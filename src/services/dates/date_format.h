// The date-format engine behind the subject's date tag: turns a date into text by a format text
// of the classic date-formatting language (d, dd, ddd, dddd, ddddd, dddddd, w, ww, m, mm, mmm,
// mmmm, q, y, yy, yyyy, h, hh, n, nn, s, ss, ttttt, c, AM/PM, am/pm, A/P, a/p, AMPM, "/", ":",
// \x and "text"), with weeks starting on Sunday and week 1 being the week that holds 1 January.
// A format that is one of the names General Date, Long Date, Medium Date, Short Date, Long Time,
// Medium Time or Short Time (in any letter case) gives that form. AMPM gives "AM" and "PM" where
// the locale has no markers of its own. Dates are counted as calendar.h counts them.
#ifndef WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_
#define WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_

#include <string>
#include <string_view>

#include "base/status.h"
#include "services/dates/locale_text.h"

namespace webletter {

// `date` as text in `format`, with names, forms and separators from `locale`. An empty format
// gives the general form: the short date, then a blank and the long time when the date has a
// time of day. Fails as CivilFromDate does.
Result<std::string> FormatDate(double date, std::string_view format, const LocaleText& locale);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_DATES_DATE_FORMAT_H_
