// Pinned locales for the date tests: German names built by hand, and the C library's C.UTF-8.
#ifndef WEBLETTER_TESTS_SERVICES_DATE_TEST_LOCALES_H_
#define WEBLETTER_TESTS_SERVICES_DATE_TEST_LOCALES_H_

#include <clocale>
#include <string>

#include "platform/locale_text.h"

namespace webletter::testing {

inline LocaleText GermanLocale() {
  LocaleText german;
  german.day_names = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                      "Donnerstag", "Freitag", "Samstag"};
  german.day_abbreviations = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
  german.month_names = {"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                        "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
  german.month_abbreviations = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                                "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
  german.short_date_form = "%d.%m.%Y";
  german.long_date_form = "%A, %-d. %B %Y";
  german.long_time_form = "%H:%M:%S";
  german.date_separator = ".";
  german.time_separator = ":";
  return german;
}

// The texts of a named LC_TIME locale; the process's LC_TIME is restored afterwards.
inline LocaleText LocaleNamed(const char* name) {
  const std::string previous = std::setlocale(LC_TIME, nullptr);
  std::setlocale(LC_TIME, name);
  LocaleText text = LocaleText::FromCurrentLocale();
  std::setlocale(LC_TIME, previous.c_str());
  return text;
}

inline const LocaleText& CLocale() {
  static const LocaleText text = LocaleNamed("C.UTF-8");
  return text;
}

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SERVICES_DATE_TEST_LOCALES_H_
