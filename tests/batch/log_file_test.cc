#include "batch/log_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/standard_messages.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using webletter::testing::TempDir;

// The short date and long time of the C locale the tests run in.
const std::regex kDateTime(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)");

ProgramState StateIn(const std::string& folder) {
  ProgramState state;
  state.app_dir = folder;
  return state;
}

// Only one final CR LF of a message is dropped; text already in the log is kept as it stands.
TEST(LogFileTest, AppendsDateTimeTwoBlanksMessageAndOneCrLf) {
  TempDir folder;
  folder.Write("webletter.log", "older text");
  const ProgramState state = StateIn(folder.path());
  WriteLog(state, "Error: x\r\n\r\n");
  WriteLog(state, "ends with a line feed\n");
  WriteLog(state, "Grüße");
  EXPECT_EQ(std::regex_replace(folder.Read("webletter.log"), kDateTime, "D"),
            "older textD  Error: x\r\n\r\nD  ends with a line feed\n\r\nD  Grüße\r\n");
}

// Two processes append at once: every entry arrives whole, on a line of its own, in order.
TEST(LogFileTest, TwoProcessesAppendingNeverInterleave) {
  constexpr int kEntriesEach = 500;
  const std::string padding(3000, 'x');
  TempDir folder;
  const ProgramState state = StateIn(folder.path());
  std::vector<pid_t> children;
  for (const char writer : {'A', 'B'}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0; i < kEntriesEach; ++i) {
        WriteLog(state, std::string(1, writer) + " " + std::to_string(i) + " " + padding);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) ASSERT_EQ(waitpid(child, nullptr, 0), child);

  const std::string log = folder.Read("webletter.log");
  const std::regex entry(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d  ([AB]) (\d+) x{3000}\r\n)");
  int next[2] = {0, 0};
  auto at = log.cbegin();
  for (std::smatch parts;
       std::regex_search(at, log.cend(), parts, entry, std::regex_constants::match_continuous);
       at = parts[0].second) {
    const int writer = parts[1] == "A" ? 0 : 1;
    ASSERT_EQ(std::stoi(parts[2]), next[writer]++);
  }
  EXPECT_EQ(at - log.cbegin(), log.size()) << "damaged at byte " << at - log.cbegin();
  EXPECT_EQ(next[0], kEntriesEach);
  EXPECT_EQ(next[1], kEntriesEach);
}

// A log that cannot be written: no crash, one line on standard error with the file and reason.
TEST(LogFileTest, UnwritableLogReportsOneLineAndGoesOn) {
  TempDir folder;
  folder.Write("plain-file", "");
  std::filesystem::create_directories(folder.File("dir-log/webletter.log"));
  std::vector<std::pair<std::string, int>> cases = {
      {folder.File("plain-file/"), ErrorNumberFromErrno(ENOTDIR)},
      {folder.File("missing/folder/"), error::kFileNotFound},
      {folder.File("dir-log/"), ErrorNumberFromErrno(EISDIR)},
  };
  if (access("/dev/full", W_OK) == 0) {
    std::filesystem::create_directories(folder.File("full-disk"));
    std::filesystem::create_symlink("/dev/full", folder.File("full-disk/webletter.log"));
    cases.emplace_back(folder.File("full-disk/"), error::kDiskFull);
  }
  for (const auto& [app_dir, error_number] : cases) {
    ::testing::internal::CaptureStderr();
    WriteLog(StateIn(app_dir), "Error: something\r\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "webletter: cannot write to the log file " + app_dir +
                  "webletter.log: " + std::string(StandardMessage(error_number)) + "\n");
  }
}

}  // namespace
}  // namespace webletter
