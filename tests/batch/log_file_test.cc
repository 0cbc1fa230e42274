#include "batch/log_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace webletter {
namespace {

using webletter::testing::TempDir;

// The text with each date and time (the C locale's short date and long time) replaced by D.
std::string WithoutDates(const std::string& text) {
  return std::regex_replace(text, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"), "D");
}

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
  EXPECT_EQ(WithoutDates(folder.Read("webletter.log")),
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

  std::istringstream entries(WithoutDates(folder.Read("webletter.log")));
  int next[2] = {0, 0};
  for (std::string entry; std::getline(entries, entry);) {
    const int writer = entry.starts_with("D  A") ? 0 : 1;
    ASSERT_EQ(entry, std::string("D  ") + "AB"[writer] + " " + std::to_string(next[writer]++) +
                         " " + padding + "\r");
  }
  EXPECT_EQ(next[0], kEntriesEach);
  EXPECT_EQ(next[1], kEntriesEach);
}

// What a log that cannot be written leaves on standard error: a line with the file and the
// reason, then the entry's lines, each on a line of its own whatever ended it (CR LF, CR or LF).
std::string Unwritten(const std::string& path, const std::string& reason) {
  return "webletter: cannot write to the log file " + path + ": " + reason +
         "\nwebletter: D  Error: one\nwebletter: two\nwebletter: three\n";
}

// A log that cannot be written: no crash, no wait, and on standard error the file, the reason
// and the entry, so that nothing of it is lost.
TEST(LogFileTest, UnwritableLogReportsWhyAndTheEntry) {
  TempDir folder;
  folder.Write("plain-file", "");
  std::filesystem::create_directories(folder.File("dir-log/webletter.log"));
  std::filesystem::create_directories(folder.File("fifo"));
  ASSERT_EQ(mkfifo(folder.File("fifo/webletter.log").c_str(), 0600), 0);
  const std::string not_regular = "it is not a regular file";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {folder.File("plain-file/"), "Path not found"},
      {folder.File("missing/folder/"), "File not found"},
      {folder.File("dir-log/"), "Path/File access error"},
      {folder.File("fifo/"), not_regular},
      {folder.File(std::string(300, 'n') + "/"), "Bad file name or number"},
  };
  for (const auto& [app_dir, reason] : cases) {
    ::testing::internal::CaptureStderr();
    WriteLog(StateIn(app_dir), "Error: one\rtwo\nthree\r\n");
    EXPECT_EQ(WithoutDates(::testing::internal::GetCapturedStderr()),
              Unwritten(app_dir + "webletter.log", reason));
  }
  // A FIFO that is being read is still refused, and gets nothing.
  const int reader = open(folder.File("fifo/webletter.log").c_str(), O_RDONLY | O_NONBLOCK);
  ::testing::internal::CaptureStderr();
  WriteLog(StateIn(folder.File("fifo/")), "Error: one\rtwo\nthree");
  EXPECT_EQ(WithoutDates(::testing::internal::GetCapturedStderr()),
            Unwritten(folder.File("fifo/webletter.log"), not_regular));
  char byte;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);
}

// A disk that fills up in the middle of an entry: the log is cut back to what it held.
TEST(LogFileTest, AFullDiskLeavesNoFragment) {
  TempDir folder;
  folder.Write("webletter.log", "older text");
  int errors[2];  // standard error goes to a pipe, which no file size limit cuts
  ASSERT_EQ(pipe(errors), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(errors[1], STDERR_FILENO);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{15, 15};  // room for five bytes of the entry
    setrlimit(RLIMIT_FSIZE, &limit);
    WriteLog(StateIn(folder.path()), "Error: one\rtwo\nthree");
    _exit(0);
  }
  close(errors[1]);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  char said[512] = {};
  EXPECT_GT(read(errors[0], said, sizeof said - 1), 0);
  close(errors[0]);
  EXPECT_EQ(WithoutDates(said), Unwritten(folder.File("webletter.log"), "Disk full"));
  EXPECT_EQ(folder.Read("webletter.log"), "older text");
}

}  // namespace
}  // namespace webletter
