#include "batch/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/standard_messages.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using webletter::testing::TempDir;

// The general date-and-time form of the C locale the tests run in, and the two blanks.
const std::regex kEntryStart(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d  )");

ProgramState StateIn(const std::string& folder) {
  ProgramState state;
  state.app_dir = folder;
  return state;
}

std::vector<std::string> SplitEntries(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", from)) {
    lines.push_back(log.substr(from, at - from));
    from = at + 2;
  }
  EXPECT_EQ(from, log.size()) << "the log ends with CR LF";
  return lines;
}

TEST(LogFileTest, EntryIsDateTimeTwoBlanksMessageAndOneCrLf) {
  struct Case {
    std::string_view message;
    std::string_view written;  // after the date, the time and the two blanks
  };
  const std::vector<Case> cases = {
      {"Entry 'news' succesfully sent.", "Entry 'news' succesfully sent.\r\n"},
      {"Error: line one\r\nline two\r\n", "Error: line one\r\nline two\r\n"},
      {"Error: x\r\n\r\n", "Error: x\r\n\r\n"},
      {"Error: x\r\nAn error mail was sent.", "Error: x\r\nAn error mail was sent.\r\n"},
      {"ends with a line feed\n", "ends with a line feed\n\r\n"},
      {"", "\r\n"},
      {"Grüße – ünïcödé", "Grüße – ünïcödé\r\n"},
  };
  for (const Case& c : cases) {
    TempDir folder;
    WriteLog(StateIn(folder.path()), c.message);
    const std::string log = folder.Read("webletter.log");
    std::smatch start;
    ASSERT_TRUE(std::regex_search(log, start, kEntryStart, std::regex_constants::match_continuous))
        << log;
    EXPECT_EQ(log.substr(start.length()), c.written);
  }
}

TEST(LogFileTest, FirstEntryCreatesTheFileLaterOnesAppend) {
  TempDir folder;
  const ProgramState state = StateIn(folder.path());
  WriteLog(state, "first");
  ASSERT_TRUE(std::filesystem::is_regular_file(folder.File("webletter.log")));
  WriteLog(state, "second\r\n");
  const std::vector<std::string> entries = SplitEntries(folder.Read("webletter.log"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].ends_with("  first"));
  EXPECT_TRUE(entries[1].ends_with("  second"));

  // Text that was there already is never touched, even without a final line break.
  TempDir other;
  other.Write("webletter.log", "older text");
  WriteLog(StateIn(other.path()), "new");
  const std::string log = other.Read("webletter.log");
  EXPECT_TRUE(log.starts_with("older text")) << log;
  EXPECT_TRUE(log.ends_with("  new\r\n")) << log;
}

// Two processes append at once: every entry arrives whole, on a line of its own.
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
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const std::vector<std::string> entries = SplitEntries(folder.Read("webletter.log"));
  ASSERT_EQ(entries.size(), 2u * kEntriesEach);
  const std::regex entry(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d  ([AB]) (\d+) x{3000})");
  int next[2] = {0, 0};
  for (const std::string& line : entries) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, entry)) << line.substr(0, 80);
    const int writer = parts[1] == "A" ? 0 : 1;
    EXPECT_EQ(std::stoi(parts[2]), next[writer]++) << "each process's entries stay in order";
  }
  EXPECT_EQ(next[0], kEntriesEach);
  EXPECT_EQ(next[1], kEntriesEach);
}

// A log that cannot be written: no crash, one line on standard error with the file and reason.
TEST(LogFileTest, UnwritableLogReportsOneLineAndGoesOn) {
  TempDir folder;
  folder.Write("plain-file", "");
  std::filesystem::create_directories(folder.File("dir-log/webletter.log"));
  std::filesystem::create_directories(folder.File("full-disk"));
  const bool have_dev_full = access("/dev/full", W_OK) == 0;
  if (have_dev_full) {
    std::filesystem::create_symlink("/dev/full", folder.File("full-disk/webletter.log"));
  }
  struct Case {
    std::string app_dir;
    int error_number;
  };
  std::vector<Case> cases = {
      {folder.File("plain-file/"), ErrorNumberFromErrno(ENOTDIR)},
      {folder.File("missing/folder/"), ErrorNumberFromErrno(ENOENT)},
      {folder.File("dir-log/"), ErrorNumberFromErrno(EISDIR)},
  };
  if (have_dev_full) cases.push_back({folder.File("full-disk/"), error::kDiskFull});

  for (const Case& c : cases) {
    const ProgramState state = StateIn(c.app_dir);
    ::testing::internal::CaptureStderr();
    WriteLog(state, "Error: something\r\n");
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "webletter: cannot write to the log file " + state.LogPath() + ": " +
                           std::string(StandardMessage(c.error_number)) + "\n");
  }
}

}  // namespace
}  // namespace webletter
