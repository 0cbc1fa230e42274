// The subject's date tag: a date format between two "#" marks is replaced by a date in that
// format (today at midnight, plus an optional offset in days).
#ifndef WEBLETTER_SERVICES_DATES_DATE_TAG_H_
#define WEBLETTER_SERVICES_DATES_DATE_TAG_H_

#include <optional>
#include <string>

#include "base/status.h"
#include "services/dates/locale_text.h"

namespace webletter {

// Replaces the first date tag of `text`, and every later copy of exactly the same tag, by today's
// local date plus `offset_days` in the tag's format. `text` itself is changed, and the result is
// a copy of it. Fails with error::kOverflow for a mark past the 16-bit range (the first "#" at
// character 32,767 or later, the second after 32,767) or a date outside the representable
// range, and with error::kInvalidArgument for a NaN offset; `text` then stays as it was.
Result<std::string> FillDateTag(std::string& text,
                                std::optional<double> offset_days = std::nullopt);

// The same with "today" (a date as calendar.h counts it) and the locale given.
Result<std::string> FillDateTag(std::string& text, std::optional<double> offset_days, double today,
                                const LocaleText& locale);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_DATES_DATE_TAG_H_
