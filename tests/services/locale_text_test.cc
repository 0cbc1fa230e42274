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

// Monday 1 January 1900, 13:05:09.
const CivilDateTime kAfternoon{1900, 1, 1, 13, 5, 9, /*weekday=*/1, /*day_of_year=*/1};

TEST(LocaleTextTest, RendersStrftimeConversionsFromItsOwnNames) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"%a %A %b %h %B", "Mo Montag Jan Jan Januar"},
      {"%d|%-d|%e|%_d|%0e", "01|1| 1| 1|01"},
      {"%m %y %Y %C %j %u %w", "01 00 1900 19 001 1 1"},
      {"%H %k %I %l %M %S", "13 13 01  1 05 09"},
      {"%D|%F|%T|%R", "01/01/00|1900-01-01|13:05:09|13:05"},
      {"%Ey %Od %% %Q ends with %", "00 01 % %Q ends with %"},
  };
  for (const auto& [form, expected] : cases) {
    EXPECT_EQ(testing::GermanLocale().Render(form, kAfternoon), expected) << form;
  }
}

// Locales pinned by compiling them for the test with localedef, one of them not in UTF-8.
class CompiledLocaleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new webletter::testing::TempDir();
    for (const std::string name : {"de_DE.ISO-8859-1", "en_US.UTF-8"}) {
      const std::string command = "localedef -c -i " + name.substr(0, 5) + " -f " + name.substr(6) +
                                  " '" + folder_->File(name) + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) == -1) break;
    }
    setenv("LOCPATH", folder_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    unsetenv("LOCPATH");
    delete folder_;
  }

  // Makes `name` the process's LC_TIME locale until the test ends; false when it is missing.
  bool Use(const char* name) { return std::setlocale(LC_TIME, name) != nullptr; }
  void TearDown() override { std::setlocale(LC_TIME, previous_.c_str()); }

  const std::string previous_ = std::setlocale(LC_TIME, nullptr);
  static inline webletter::testing::TempDir* folder_ = nullptr;
};

TEST_F(CompiledLocaleTest, NamesOfALatin1LocaleComeOutAsUtf8) {
  if (!Use("de_DE.ISO-8859-1")) GTEST_SKIP() << "localedef could not build de_DE";
  const LocaleText german = LocaleText::FromCurrentLocale();
  EXPECT_EQ(german.month_names[2], "März");
  EXPECT_EQ(german.month_abbreviations[2], "Mär");
  EXPECT_EQ(german.ShortDate(kAfternoon), "01.01.1900");
  EXPECT_EQ(german.LongDate(kAfternoon), "Montag, 1. Januar 1900");
  EXPECT_EQ(german.LongTime(kAfternoon), "13:05:09");
  const std::string now = NowAsText();
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"))) << now;
}

TEST_F(CompiledLocaleTest, MonthFirstLocaleWithTwelveHourTime) {
  if (!Use("en_US.UTF-8")) GTEST_SKIP() << "localedef could not build en_US";
  const LocaleText english = LocaleText::FromCurrentLocale();
  EXPECT_EQ(english.ShortDate(kAfternoon), "01/01/1900");
  EXPECT_EQ(english.LongDate(kAfternoon), "Monday, January 1, 1900");
  EXPECT_EQ(english.LongTime(kAfternoon), "01:05:09 PM");
}

}  // namespace
}  // namespace webletter
