#include "batch/section_job.h"

#include <filesystem>
#include <string>
#include <vector>

#include "batch/job_test_support.h"
#include "gtest/gtest.h"
#include "platform/standard_messages.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::ClosedLoopbackPort;
using testing::RecordingMessageBox;
using testing::TempDir;

TEST(WithDefaultSchemeTest, PutsHttpInFrontOnlyWhenNoSchemeIsNamed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"example.org/news", "http://example.org/news"},
      {"localhost:8080/a", "http://localhost:8080/a"},
      {"example.org/?next=http://other.org", "http://example.org/?next=http://other.org"},
      {"http://example.org", "http://example.org"},
      {"HTTP://example.org", "HTTP://example.org"},
      {"https://example.org", "https://example.org"},
      {"HtTpS://example.org", "HtTpS://example.org"},
      {"ftp://example.org", "ftp://example.org"},
      {"svn+ssh://example.org", "svn+ssh://example.org"},
      {"http:/example.org", "http://http:/example.org"},
      {"://example.org", "http://://example.org"},
      {"1http://example.org", "http://1http://example.org"},
  };
  for (const auto& [url, expected] : cases) EXPECT_EQ(WithDefaultScheme(url), expected) << url;
}

TEST(AppendErrorTest, EndsEveryMessageWithCrLf) {
  std::string error_text;
  AppendError(error_text, "SMTP missing or invalid");
  AppendError(error_text, "");
  EXPECT_EQ(error_text, "SMTP missing or invalid\r\n\r\n");
}

// The job in process, in message-box mode, against a settings file of the test's own. Every case
// here ends before a working server would be needed.
class ProcessSectionTest : public ::testing::Test {
 protected:
  // Runs the job; returns the error text shown, "" when none was shown.
  std::string Run(const std::string& ini, const std::string& section) {
    std::filesystem::remove(dir_.File("webletter.ini"));
    if (!ini.empty()) dir_.Write("webletter.ini", ini);
    RecordingMessageBox box;
    state_.app_dir = dir_.path();
    const bool sent = ProcessSection(section, state_, box);
    EXPECT_FALSE(sent);
    EXPECT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(dir_.Read("webletter.ini"), ini) << "the job must never write the settings";
    return box.shown.empty() ? "" : box.shown.front();
  }

  TempDir dir_;
  ProgramState state_;
};

TEST_F(ProcessSectionTest, SectionFoundRuleAndMissingUrl) {
  const std::string full_default =
      "[Default]\nURL=127.0.0.1:1/\nToAddress=reader@example.org\nFromAddress=editor@example.org\n"
      "SMTPserver=mail.example.org\nSubject=News\n";
  struct Case {
    std::string name;
    std::string ini;
    std::string section;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a section that sets only URL", "[news]\nURL=127.0.0.1:1/x\n" + full_default, "news",
       "Section 'news' not found in webletter.ini\r\n"},
      {"empty values count as missing", "[news]\nToName=\nSubject=\n" + full_default, "news",
       "Section 'news' not found in webletter.ini\r\n"},
      {"a missing section, Default with URL", full_default, "other",
       "Section 'other' not found in webletter.ini\r\n"},
      {"a missing section, Default without URL", "[Default]\nSubject=News\n", "other",
       "Section 'other' not found in webletter.ini\r\nNo URL specified in INI file\r\n"},
      {"no settings file at all", "", "news",
       "Section 'news' not found in webletter.ini\r\nNo URL specified in INI file\r\n"},
      {"a found section without URL anywhere", "[news]\nSubject=News\n", "news",
       "No URL specified in INI file\r\n"},
      {"a name with ]", "[news]\nSubject=News\n", "news]",
       "Section 'news]' not found in webletter.ini\r\nNo URL specified in INI file\r\n"},
      {"a name with =", "[news]\nSubject=News\n", "news=Subject",
       "Section 'news=Subject' not found in webletter.ini\r\nNo URL specified in INI file\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.ini, c.section), c.expected) << c.name;
}

TEST_F(ProcessSectionTest, FailedFetchIsTheFirstLineAndAllFiveChecksFollow) {
  const std::string page = ClosedLoopbackPort();
  const std::string fetch_failed = "Page 'http://" + page + "/' could not be fetched: " +
                                   std::string(StandardMessage(error::kFetchCannotConnect)) +
                                   "\r\n";
  struct Case {
    std::string name;
    std::string ini;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"every check failing, in order",
       "[news]\nURL=" + page + "/\nCheckContent=1\nSMTPserver=localhost\nToAddress=reader\n",
       fetch_failed + "Page 'http://" + page +
           "/' failed webletter check\r\n"
           "SMTP missing or invalid\r\n"
           "To-address missing or invalid\r\n"
           "From-address missing or invalid\r\n"
           "Subject line missing\r\n"},
      {"a section with only ErrorsGoTo takes the rest from Default",
       "[news]\nErrorsGoTo=admin@example.org\n[Default]\nURL=" + page +
           "/\nToAddress=reader@example.org\nFromAddress=editor@example.org\n"
           "SMTPserver=mail.example.org\nSubject=News\nCheckContent=0\n",
       fetch_failed},
      {"an empty value in the section falls back to Default's",
       "[news]\nURL=http://" + page + "/\nSubject=News\nToAddress=\nSMTPserver=\n" +
           "FromAddress=editor@example.org\n[Default]\nToAddress=reader\nSMTPserver=" + page +
           "\nFromAddress=nobody\n",
       fetch_failed + "To-address missing or invalid\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.ini, "news"), c.expected) << c.name;
    EXPECT_EQ(state_.failed_smtp_server, "") << c.name;
  }
}

}  // namespace
}  // namespace webletter
