#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "settings/ini_text.h"
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// Runs `body` in a child process and returns its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Gives up root's right to write anywhere, so that permissions apply in tests run as root.
bool DropPrivileges() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

TEST(SettingsReadTest, MissingFileReadsEmpty) {
  TempDir dir;
  EXPECT_EQ(Settings(dir.File("webletter.ini")).GetIniValue("Default", "URL"), "");
  EXPECT_EQ(Settings(dir.path() + "no/folder/webletter.ini").GetIniValue("Default", "URL"), "");
}

// A folder or a named pipe in the file's place reads empty at once and is never written.
TEST(SettingsReadTest, NoRegularFileReadsEmptyWithoutWaiting) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.ini"));
  ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0644), 0);
  for (const char* name : {"folder.ini", "pipe.ini"}) {
    Settings settings(dir.File(name));
    EXPECT_EQ(settings.GetIniValue("s", "k"), "") << name;
    settings.WriteIniValue("s", "k", "v");
    EXPECT_EQ(FilesIn(dir.path()).size(), 2u);
  }
}

// The file is read in pieces: a line, or a CR LF pair, that straddles two pieces reads whole.
TEST(SettingsReadTest, LinesAcrossReadPiecesReadWhole) {
  TempDir dir;
  Settings settings(dir.File("webletter.ini"));
  constexpr std::size_t kPiece = 64 * 1024;
  for (std::size_t key_at = kPiece - 12; key_at <= kPiece + 2; ++key_at) {
    std::string text = "[s]\r\n;";
    text += std::string(key_at - text.size() - 2, 'x') + "\r\n";
    text += "key=" + std::string(10, 'v') + "\r\nnext=1\r\n";
    WriteFile(settings.path(), text);
    EXPECT_EQ(settings.GetIniValue("s", "key"), std::string(10, 'v')) << key_at;
    EXPECT_EQ(settings.GetIniValue("s", "next"), "1") << key_at;
  }
}

TEST(SettingsReadTest, LargeFileReadsLikeItsText) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 10000; ++i) {
    text += "[Section" + std::to_string(i) + "]\r\nURL=http://host" + std::to_string(i) +
            ".example/\r\n; comment\r\n";
  }
  WriteFile(dir.File("webletter.ini"), text);
  Settings settings(dir.File("webletter.ini"));
  for (int i : {0, 1, 4711, 9998, 9999}) {
    std::string section = "section" + std::to_string(i);
    EXPECT_EQ(settings.GetIniValue(section, "url"), ini_text::FindValue(text, section, "url"));
    EXPECT_EQ(settings.GetIniValue(section, "url"),
              "http://host" + std::to_string(i) + ".example/");
  }
  EXPECT_EQ(settings.GetIniValue("section10000", "url"), "");
}

TEST(SettingsWriteTest, ReplacesOneValueAndKeepsTheRest) {
  TempDir dir;
  Settings settings(dir.File("webletter.ini"));
  WriteFile(settings.path(), "; mine\r\n[Default]\r\nURL = old\r\n\r\n[Job]\r\nURL=job\r\n");
  settings.WriteIniValue("default", "url", "new");
  EXPECT_EQ(ReadFile(settings.path()),
            "; mine\r\n[Default]\r\nURL = new\r\n\r\n[Job]\r\nURL=job\r\n");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"webletter.ini"});
}

TEST(SettingsWriteTest, CreatesAMissingFileWithTheUsualMode) {
  for (mode_t mask : {022, 077}) {
    TempDir dir;
    Settings settings(dir.File("webletter.ini"));
    mode_t old_mask = umask(mask);
    settings.WriteIniValue("Default", "URL", "a");
    umask(old_mask);
    EXPECT_EQ(ReadFile(settings.path()), "[Default]\nURL=a\n");
    EXPECT_EQ(ModeOf(settings.path()), 0666 & ~mask);
  }
}

TEST(SettingsWriteTest, KeepsTheFilesMode) {
  for (mode_t mode : {0600, 0640, 0604, 0664}) {
    TempDir dir;
    Settings settings(dir.File("webletter.ini"));
    WriteFile(settings.path(), "[s]\nk=1\n");
    chmod(settings.path().c_str(), mode);
    settings.WriteIniValue("s", "k", "2");
    EXPECT_EQ(settings.GetIniValue("s", "k"), "2");
    EXPECT_EQ(ModeOf(settings.path()), mode);
  }
}

TEST(SettingsWriteTest, WritesThroughASymbolicLink) {
  TempDir dir;
  WriteFile(dir.File("real.ini"), "[s]\nk=1\n");
  std::filesystem::create_symlink("real.ini", dir.File("webletter.ini"));
  Settings(dir.File("webletter.ini")).WriteIniValue("s", "k", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("webletter.ini")));
  EXPECT_EQ(ReadFile(dir.File("real.ini")), "[s]\nk=2\n");
}

// A folder that takes no new file, or a read-only file: the write does nothing, silently.
TEST(SettingsWriteTest, UnwritablePlacesAreLeftAlone) {
  struct Case {
    const char* name;
    mode_t folder_mode;
    mode_t file_mode;
  };
  for (const Case& c : {Case{"read-only folder", 0555, 0666}, Case{"read-only file", 0777, 0444}}) {
    TempDir dir;
    Settings settings(dir.File("webletter.ini"));
    const std::string text = "[s]\nk=1\n";
    WriteFile(settings.path(), text);
    chmod(settings.path().c_str(), c.file_mode);
    chmod(dir.path().c_str(), c.folder_mode);
    int status = InChild([&] {
      if (!DropPrivileges()) return 2;
      settings.WriteIniValue("s", "k", "2");
      settings.WriteIniValue("t", "k", "2");
      return 0;
    });
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(status, 0) << c.name;
    EXPECT_EQ(ReadFile(settings.path()), text) << c.name;
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"webletter.ini"}) << c.name;
  }
}

// A write that fails half-way (here: the file size limit, as on a full disk) leaves the old
// file whole, and no temporary file behind; a file that did not exist is not left empty.
TEST(SettingsWriteTest, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  Settings settings(dir.File("webletter.ini"));
  std::string text = "[s]\nk=1\n;" + std::string(100000, 'x') + "\n";
  WriteFile(settings.path(), text);
  auto write_limited = [&](rlim_t limit) {
    return InChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      rlimit size_limit{limit, limit};
      if (setrlimit(RLIMIT_FSIZE, &size_limit) != 0) return 2;
      settings.WriteIniValue("s", "k", "2");
      return 0;
    });
  };
  EXPECT_EQ(write_limited(50000), 0);
  EXPECT_EQ(ReadFile(settings.path()), text);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"webletter.ini"});

  std::filesystem::remove(settings.path());
  EXPECT_EQ(write_limited(0), 0);
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

// Two processes write 200 keys each at the same moment, while a third reads: no value is
// lost, the file stays well-formed, and a reader never sees a damaged file.
TEST(SettingsWriteTest, ConcurrentWritersLoseNothing) {
  constexpr int kKeys = 200;
  TempDir dir;
  Settings settings(dir.File("webletter.ini"));
  WriteFile(settings.path(), "[Default]\r\nKept=yes\r\n");
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> writers;
  for (const char* prefix : {"A", "B"}) {
    pid_t child = fork();
    if (child == 0) {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) _exit(2);
      for (int i = 0; i < kKeys; ++i) {
        std::string key = prefix + std::to_string(i);
        settings.WriteIniValue(i % 2 == 0 ? "Default" : "Jobs", key, "value of " + key);
      }
      _exit(0);
    }
    writers.push_back(child);
  }
  close(start[0]);
  close(start[1]);  // both writers start now
  int reads = 0;
  int bad_reads = 0;
  int running = 2;
  while (running > 0) {
    bad_reads += settings.GetIniValue("Default", "Kept") != "yes";
    ++reads;
    running = 0;
    for (pid_t writer : writers) running += waitpid(writer, nullptr, WNOHANG) == 0;
  }
  EXPECT_EQ(bad_reads, 0) << "of " << reads << " reads";

  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < kKeys; ++i) {
      std::string key = prefix + std::to_string(i);
      EXPECT_EQ(settings.GetIniValue(i % 2 == 0 ? "Default" : "Jobs", key), "value of " + key);
    }
  }
  // Well-formed: both sections once, every line a key of ours, the file's own CR LF throughout.
  std::string text = ReadFile(settings.path());
  ASSERT_TRUE(text.ends_with("\r\n"));
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  EXPECT_EQ(lines.size(), 3u + 2 * kKeys);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Default]"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Jobs]"), 1);
  for (const std::string& line : lines) {
    if (line.starts_with("[") || line == "Kept=yes") continue;
    std::string key = line.substr(0, line.find('='));
    EXPECT_EQ(line, key + "=value of " + key);
  }
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"webletter.ini"});
}

}  // namespace
}  // namespace webletter
