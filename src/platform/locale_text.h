// Date and time text in the user's locale (the C library's LC_TIME, set from the environment at
// start-up): day and month names, the short and long date forms, the long time and the
// separators.
#ifndef WEBLETTER_PLATFORM_LOCALE_TEXT_H_
#define WEBLETTER_PLATFORM_LOCALE_TEXT_H_

#include <string>

namespace webletter {

// The current local date and time in the general form: the locale's short date, a blank, the
// locale's long time. Used by the log and the error mail.
std::string NowAsText();

}  // namespace webletter

#endif  // WEBLETTER_PLATFORM_LOCALE_TEXT_H_
