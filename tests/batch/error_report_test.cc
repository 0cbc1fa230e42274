#include "batch/error_report.h"

#include <filesystem>
#include <string>
#include <vector>

#include "batch/job_test_support.h"
#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::ClosedLoopbackPort;
using testing::EntryWithoutDate;
using testing::RecordingMessageBox;
using testing::TempDir;

TEST(ChannelsForModeTest, OnlyTheFourModesAsWrittenAvoidTheMessageBox) {
  const ReportChannels box{.message_box = true};
  const std::vector<std::pair<std::string, ReportChannels>> cases = {
      {"log", {.log = true}},
      {"mail", {.mail = true}},
      {"logmail", {.mail = true, .log = true}},
      {"silent", {}},
      {"", box},
      {"LOG", box},
      {"Log", box},
      {"log ", box},
      {" silent", box},
      {"maillog", box},
      {"logmails", box},
      {"log\t", box},
      {std::string(100000, 'x'), box},
  };
  for (const auto& [mode, expected] : cases) {
    EXPECT_EQ(ChannelsForMode(mode), expected) << mode.substr(0, 20);
  }
}

TEST(ErrorMailBodyTest, DateTwoBlanksSectionColonAndTheErrors) {
  EXPECT_EQ(ErrorMailBody("03/04/24 07:00:00", "news", "SMTP missing or invalid\r\n"),
            "03/04/24 07:00:00  news: SMTP missing or invalid\r\n");
}

// ReportErrors in process, with a settings file and a log of the test's own. The error mails here
// all go to servers that are missing or refuse the connection; the end-to-end tests deliver them.
class ReportErrorsTest : public ::testing::Test {
 protected:
  static constexpr std::string_view kErrors = "SMTP missing or invalid\r\nSubject line missing\r\n";

  struct Outcome {
    std::string errors;  // the report text after the call
    std::string log;     // the log's one entry without its date, or "" without a log file
    std::vector<std::string> shown;
  };

  Outcome Report(const std::string& mode, const std::string& ini, const std::string& section,
                 const std::string& failed_server = "") {
    std::filesystem::remove(dir_.File("webletter.log"));
    dir_.Write("webletter.ini", ini);
    ProgramState state{
        .app_dir = dir_.path(), .report_mode = mode, .failed_smtp_server = failed_server};
    RecordingMessageBox box;
    Outcome outcome{std::string(kErrors), "", {}};
    ReportErrors(outcome.errors, section, state, box);
    outcome.shown = box.shown;
    if (std::filesystem::exists(dir_.File("webletter.log"))) {
      outcome.log = EntryWithoutDate(dir_.Read("webletter.log"));
    }
    return outcome;
  }

  TempDir dir_;
};

TEST_F(ReportErrorsTest, ModesDecideBetweenLogMessageBoxAndNothing) {
  const std::string errors(kErrors);
  struct Case {
    std::string mode;
    std::string log;
    std::vector<std::string> shown;
  };
  const std::vector<Case> cases = {
      {"log", "Error: " + errors, {}}, {"silent", "", {}},       {"", "", {errors}},
      {"LOG", "", {errors}},           {"Silent", "", {errors}}, {"nonsense", "", {errors}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Report(c.mode, "[news]\nErrorsGoTo=admin@example.org\n", "news");
    EXPECT_EQ(outcome.errors, errors) << c.mode;
    EXPECT_EQ(outcome.log, c.log) << c.mode;
    EXPECT_EQ(outcome.shown, c.shown) << c.mode;
  }
}

TEST_F(ReportErrorsTest, ErrorMailNotesAreAppendedWithoutALineBreakOfTheirOwn) {
  const std::string errors(kErrors);
  const std::string closed = ClosedLoopbackPort();
  const std::string missing = errors + "Parameter(s) for reporting error by email missing";
  const std::string failed = errors + "Could not send error-message by email";
  struct Case {
    std::string name;
    std::string ini;
    std::string failed_server;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"no ErrorsGoTo anywhere", "[news]\nErrorsFrom=robot@example.org\nSMTPserver=" + closed, "",
       missing},
      {"no ErrorsFrom anywhere", "[news]\nErrorsGoTo=admin@example.org\nSMTPserver=" + closed, "",
       missing},
      {"no SMTPserver anywhere: no mail and no note",
       "[news]\nErrorsGoTo=admin@example.org\nErrorsFrom=robot@example.org\n", "", errors},
      {"the job's own server just failed: no mail and no note",
       "[news]\nErrorsGoTo=admin@example.org\nErrorsFrom=robot@example.org\nSMTPserver=" + closed,
       closed, errors},
      {"a server that refuses the connection",
       "[news]\nErrorsGoTo=admin@example.org\nErrorsFrom=robot@example.org\nSMTPserver=" + closed,
       "", failed},
      {"the values come from Default key by key",
       "[news]\nErrorsFrom=robot@example.org\nErrorsGoTo=\n[Default]\nErrorsGoTo=admin@example.org"
       "\nErrorsFrom=other\nSMTPserver=" +
           closed,
       "", failed},
      {"the failed server is compared exactly",
       "[news]\nErrorsGoTo=admin@example.org\nErrorsFrom=robot@example.org\nSMTPserver=" + closed,
       closed + " ", failed},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Report("logmail", c.ini, "news", c.failed_server);
    EXPECT_EQ(outcome.errors, c.expected) << c.name;
    // The log entry ends in exactly one CR LF, whether or not a note ends the text.
    const std::string entry_end = c.expected.ends_with("\r\n") ? "" : "\r\n";
    EXPECT_EQ(outcome.log, "Error: " + c.expected + entry_end) << c.name;
    EXPECT_TRUE(outcome.shown.empty()) << c.name;
  }
}

TEST_F(ReportErrorsTest, MailModeWritesAndShowsNothing) {
  const std::string no_parameters = "[news]\nSubject=News\n";
  Outcome outcome = Report("mail", no_parameters, "news");
  EXPECT_EQ(outcome.errors,
            std::string(kErrors) + "Parameter(s) for reporting error by email missing");
  EXPECT_EQ(outcome.log, "");
  EXPECT_TRUE(outcome.shown.empty());

  // Without a section name there are no settings to mail by: not even a note.
  outcome = Report("mail", no_parameters, "");
  EXPECT_EQ(outcome.errors, kErrors);
  EXPECT_EQ(outcome.log, "");
  EXPECT_TRUE(outcome.shown.empty());
}

}  // namespace
}  // namespace webletter
