#include "platform/locale_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "services/date_test_locales.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::GermanLocale;
using testing::LocaleNamed;

// Monday 1 January 1900, 13:05:09.
CivilDateTime Afternoon() {
  CivilDateTime when;
  when.year = 1900;
  when.month = 1;
  when.day = 1;
  when.hour = 13;
  when.minute = 5;
  when.second = 9;
  when.weekday = 1;
  when.day_of_year = 1;
  return when;
}

TEST(LocaleTextTest, ReadsTheCLocale) {
  const LocaleText c = LocaleNamed("C.UTF-8");
  EXPECT_EQ(c.day_names[0], "Sunday");
  EXPECT_EQ(c.day_abbreviations[6], "Sat");
  EXPECT_EQ(c.month_names[11], "December");
  EXPECT_EQ(c.month_abbreviations[0], "Jan");
  EXPECT_EQ(c.ShortDate(Afternoon()), "01/01/00");
  EXPECT_EQ(c.LongDate(Afternoon()), "Monday, January 1, 1900");
  EXPECT_EQ(c.LongTime(Afternoon()), "13:05:09");
  EXPECT_EQ(c.date_separator, "/");
  EXPECT_EQ(c.time_separator, ":");
  EXPECT_EQ(c.am_marker, "AM");
  EXPECT_EQ(c.pm_marker, "PM");
}

TEST(LocaleTextTest, RendersStrftimeConversionsFromItsOwnNames) {
  const LocaleText german = GermanLocale();
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"%a %A %b %h %B", "Mo Montag Jan Jan Januar"},
      {"%d|%-d|%e|%_d|%0e", "01|1| 1| 1|01"},
      {"%m %y %Y %C %j %u %w", "01 00 1900 19 001 1 1"},
      {"%H %k %I %l %M %S", "13 13 01  1 05 09"},
      {"%D|%F|%T|%R", "01/01/00|1900-01-01|13:05:09|13:05"},
      {"%Ey %Od %%", "00 01 %"},
      {"%Q %Z stays", "%Q %Z stays"},
      {"ends with %", "ends with %"},
      {"%-", "%-"},
  };
  for (const auto& [form, expected] : cases) {
    EXPECT_EQ(german.Render(form, Afternoon()), expected) << form;
  }
}

// Locales compiled for the test with localedef, among them one whose codeset is not UTF-8.
class CompiledLocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new webletter::testing::TempDir();
    for (const char* spec : {"de_DE ISO-8859-1 de_DE.ISO-8859-1", "en_US UTF-8 en_US.UTF-8"}) {
      std::string words(spec);
      const std::string input = words.substr(0, words.find(' '));
      words.erase(0, input.size() + 1);
      const std::string charmap = words.substr(0, words.find(' '));
      const std::string name = words.substr(charmap.size() + 1);
      const std::string command = "localedef -c -i " + input + " -f " + charmap + " '" +
                                  folder_->File(name) + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) == -1) break;
    }
    const char* previous = std::getenv("LOCPATH");
    had_locpath_ = previous != nullptr;
    if (had_locpath_) previous_locpath_ = previous;
    setenv("LOCPATH", folder_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (had_locpath_) {
      setenv("LOCPATH", previous_locpath_.c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
    delete folder_;
  }

  // Skips the test when the locale could not be compiled here.
  static bool Available(const char* name) {
    const std::string previous = std::setlocale(LC_TIME, nullptr);
    const bool available = std::setlocale(LC_TIME, name) != nullptr;
    std::setlocale(LC_TIME, previous.c_str());
    return available;
  }

  static inline webletter::testing::TempDir* folder_ = nullptr;
  static inline bool had_locpath_ = false;
  static inline std::string previous_locpath_;
};

TEST_F(CompiledLocaleTest, NamesOfALatin1LocaleComeOutAsUtf8) {
  if (!Available("de_DE.ISO-8859-1")) GTEST_SKIP() << "localedef could not build de_DE";
  const LocaleText german = LocaleNamed("de_DE.ISO-8859-1");
  EXPECT_EQ(german.day_names[0], "Sonntag");
  EXPECT_EQ(german.month_names[2], "März");
  EXPECT_EQ(german.month_abbreviations[2], "Mär");
  EXPECT_EQ(german.date_separator, ".");
  EXPECT_EQ(german.time_separator, ":");
  EXPECT_EQ(german.ShortDate(Afternoon()), "01.01.1900");
  EXPECT_EQ(german.LongDate(Afternoon()), "Montag, 1. Januar 1900");
  EXPECT_EQ(german.LongTime(Afternoon()), "13:05:09");
}

TEST_F(CompiledLocaleTest, MonthFirstLocaleWithTwelveHourTime) {
  if (!Available("en_US.UTF-8")) GTEST_SKIP() << "localedef could not build en_US";
  const LocaleText english = LocaleNamed("en_US.UTF-8");
  EXPECT_EQ(english.ShortDate(Afternoon()), "01/01/1900");
  EXPECT_EQ(english.LongDate(Afternoon()), "Monday, January 1, 1900");
  EXPECT_EQ(english.LongTime(Afternoon()), "01:05:09 PM");
  EXPECT_EQ(english.date_separator, "/");
  EXPECT_EQ(english.time_separator, ":");
}

TEST_F(CompiledLocaleTest, NowAsTextIsShortDateBlankLongTime) {
  if (!Available("de_DE.ISO-8859-1")) GTEST_SKIP() << "localedef could not build de_DE";
  const std::string previous = std::setlocale(LC_TIME, nullptr);
  std::setlocale(LC_TIME, "de_DE.ISO-8859-1");
  const std::string now = NowAsText();
  std::setlocale(LC_TIME, previous.c_str());
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"))) << now;
}

}  // namespace
}  // namespace webletter
