#include "batch/section_job.h"

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

TEST(WithDefaultSchemeTest, PutsHttpInFrontOnlyWhenNoSchemeIsNamed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"example.org/?next=http://other.org", "http://example.org/?next=http://other.org"},
      {"HtTpS://example.org", "HtTpS://example.org"},
      {"svn+ssh://example.org", "svn+ssh://example.org"},
      {"http:/example.org", "http://http:/example.org"},
      {"://example.org", "http://://example.org"},
      {"1http://example.org", "http://1http://example.org"},
  };
  for (const auto& [url, expected] : cases) EXPECT_EQ(WithDefaultScheme(url), expected) << url;
}

// The end-to-end tests cover the job with real servers; here are the cases they do not reach
// cheaply, in message-box mode.
TEST(ProcessSectionTest, EmptyValuesAndAFailedFetch) {
  const std::string page = ClosedLoopbackPort();
  const std::string full_default = "[Default]\nURL=" + page +
                                   "/\nToAddress=reader@example.org\nFromAddress=e@example.org\n" +
                                   "SMTPserver=mail.example.org\nSubject=News\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[news]\nToName=\nSubject=\n" + full_default,
       "Section 'news' not found in webletter.ini\r\n"},
      {"[news]\nSubject=Mine\n" + full_default,
       "Page 'http://" + page + "/' could not be fetched: " +
           std::string(StandardMessage(error::kFetchCannotConnect)) + "\r\n"},
  };
  for (const auto& [ini, expected] : cases) {
    const testing::TempDir dir;
    dir.Write("webletter.ini", ini);
    ProgramState state;
    state.app_dir = dir.path();
    RecordingMessageBox box;
    EXPECT_FALSE(ProcessSection("news", state, box));
    EXPECT_EQ(box.shown, std::vector<std::string>{expected});
    EXPECT_EQ(state.failed_smtp_server, "") << "only a failed send names the server";
  }
}

}  // namespace
}  // namespace webletter
