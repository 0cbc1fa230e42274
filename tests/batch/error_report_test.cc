#include "batch/error_report.h"

#include <string>
#include <vector>

#include "batch/job_test_support.h"
#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::ClosedLoopbackPort;
using testing::RecordingMessageBox;

// The end-to-end tests deliver error mails and cover the modes; here are the rules they do not
// reach cheaply. The mails go to a port where nothing listens.
TEST(ReportErrorsTest, ErrorMailSettingsAndTheServerThatJustFailed) {
  const std::string errors = "SMTP missing or invalid\r\n";
  const std::string closed = ClosedLoopbackPort();
  const std::string failed = errors + "Could not send error-message by email";
  struct Case {
    std::string name;
    std::string ini;
    std::string failed_server;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"values come from Default key by key",
       "[news]\nErrorsFrom=robot@example.org\nErrorsGoTo=\n[Default]\nErrorsGoTo=admin@example.org"
       "\nErrorsFrom=other\nSMTPserver=" +
           closed,
       "", failed},
      {"the job's own server just failed: no mail and no note",
       "[news]\nErrorsGoTo=a@example.org\nErrorsFrom=r@example.org\nSMTPserver=" + closed, closed,
       errors},
      {"the failed server is compared exactly",
       "[news]\nErrorsGoTo=a@example.org\nErrorsFrom=r@example.org\nSMTPserver=" + closed,
       closed + " ", failed},
  };
  for (const Case& c : cases) {
    const testing::TempDir dir;
    dir.Write("webletter.ini", c.ini);
    const ProgramState state{
        .app_dir = dir.path(), .report_mode = "mail", .failed_smtp_server = c.failed_server};
    RecordingMessageBox box;
    std::string report = errors;
    ReportErrors(report, "news", state, box);
    EXPECT_EQ(report, c.expected) << c.name;
    EXPECT_TRUE(box.shown.empty()) << c.name;
  }
}

}  // namespace
}  // namespace webletter
