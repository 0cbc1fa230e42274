// Date and time text in the user's locale (the C library's LC_TIME, set from the environment at
// start-up): day and month names, the short and long date forms, the long time and the
// separators. The texts are read once into a LocaleText, always as UTF-8, so that a date can be
// rendered for any locale the program is given, including one built by hand in a test.
#ifndef WEBLETTER_SERVICES_DATES_LOCALE_TEXT_H_
#define WEBLETTER_SERVICES_DATES_LOCALE_TEXT_H_

#include <array>
#include <string>
#include <string_view>

#include "services/dates/calendar.h"

namespace webletter {

// The date and time texts of one locale, all in UTF-8. The three forms use the C library's
// strftime conversions (%d, %e, %m, %y, %Y, %a, %A, %b, %B, %H, %I, %M, %S, %p, %D, %F, %T, %R,
// %r, %j, %u, %w, %n, %t, %%; flags "-", "_" and "0"; E and O modifiers are read past), but
// are rendered by Render() from this object's names, never from the process's locale.
struct LocaleText {
  std::array<std::string, 7> day_names;  // Sunday first
  std::array<std::string, 7> day_abbreviations;
  std::array<std::string, 12> month_names;  // January first
  std::array<std::string, 12> month_abbreviations;
  std::string am_marker;
  std::string pm_marker;
  std::string short_date_form;  // the locale's date (D_FMT)
  std::string long_date_form;   // built from the locale's names and order, see FromCurrentLocale
  std::string long_time_form;   // the locale's time (T_FMT)
  std::string date_separator;
  std::string time_separator;

  // The texts of the process's current LC_TIME. The long date is the full weekday name, then the
  // day, the full month name and the four-digit year in the order of the locale's short date:
  // "%A, %B %-d, %Y" where the month comes before the day, "%Y %B %-d, %A" where the year comes
  // first, "%A, %-d. %B %Y" where the date separator is "." and "%A, %-d %B %Y" otherwise.
  // Separators are the first literal text between two fields of the short date and of the long
  // time ("/" and ":" when that text is missing, longer than three characters or not
  // punctuation).
  static LocaleText FromCurrentLocale();

  std::string ShortDate(const CivilDateTime& when) const { return Render(short_date_form, when); }
  std::string LongDate(const CivilDateTime& when) const { return Render(long_date_form, when); }
  std::string LongTime(const CivilDateTime& when) const { return Render(long_time_form, when); }

  // `form` with its conversions replaced by parts of `when` (a real date: fields in range); other
  // text is copied as it stands.
  std::string Render(std::string_view form, const CivilDateTime& when) const;
};

// The current local date and time in the general form: the locale's short date, a blank, the
// locale's long time. Used by the log and the error mail.
std::string NowAsText();

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_DATES_LOCALE_TEXT_H_
