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
#include "settings/settings.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::vector<std::string> FilesIn(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  return static_cast<mode_t>(std::filesystem::status(path).permissions());
}

// Runs `body` in a child process and returns its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A missing file or folder reads empty; a folder or a named pipe in the file's place reads empty
// at once and is never written; a missing folder is not made, nor a file whose name leaves no
// room for the name of the temporary file that a write goes through.
TEST(SettingsReadTest, NoRegularFileReadsEmptyWithoutWaiting) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.ini"));
  ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0644), 0);
  for (const std::string& name :
       std::vector<std::string>{"folder.ini", "pipe.ini", "missing.ini", "no/folder/webletter.ini",
                                std::string(250, 'n')}) {
    const Settings settings(dir.File(name));
    EXPECT_EQ(settings.GetIniValue("s", "k"), "") << name;
    settings.WriteIniValue("s", "k", "v");
  }
  EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"folder.ini", "missing.ini", "pipe.ini"}));
}

// A new file gets the usual mode (0666 less the umask); a file that exists keeps its own, and a
// symbolic link to it stays one.
TEST(SettingsWriteTest, KeepsTheFilesModeAndLink) {
  TempDir dir;
  const Settings settings(dir.File("webletter.ini"));
  const mode_t old_mask = umask(077);
  settings.WriteIniValue("Default", "URL", "a");
  umask(old_mask);
  EXPECT_EQ(ReadFile(settings.path()), "[Default]\nURL=a\n");
  EXPECT_EQ(ModeOf(settings.path()), 0600);
  std::filesystem::rename(settings.path(), dir.File("real.ini"));
  std::filesystem::create_symlink("real.ini", settings.path());
  chmod(dir.File("real.ini").c_str(), 0604);
  settings.WriteIniValue("Default", "URL", "b");
  EXPECT_EQ(settings.GetIniValue("Default", "URL"), "b");
  EXPECT_TRUE(std::filesystem::is_symlink(settings.path()));
  EXPECT_EQ(ModeOf(dir.File("real.ini")), 0604);
}

// Failed writes are silent and leave everything as it was: in a read-only folder, to a read-only
// file, or half-way (the file size limit, as on a full disk): no temporary file stays behind and
// a file that did not exist is not left empty. Root gives up its rights for the read-only cases.
TEST(SettingsWriteTest, FailedWritesLeaveEverythingAsItWas) {
  struct Case {
    const char* name;
    mode_t folder_mode, file_mode;
    rlim_t size_limit;
    bool file_exists;
  };
  const std::string text = "[s]\nk=1\n;" + std::string(100000, 'x') + "\n";
  for (const Case& c : {Case{"read-only folder", 0555, 0666, RLIM_INFINITY, true},
                        Case{"read-only file", 0777, 0444, RLIM_INFINITY, true},
                        Case{"full disk", 0700, 0666, 50000, true},
                        Case{"full disk, new file", 0700, 0666, 0, false}}) {
    TempDir dir;
    const Settings settings(dir.File("webletter.ini"));
    if (c.file_exists) WriteFile(settings.path(), text);
    chmod(settings.path().c_str(), c.file_mode);
    chmod(dir.path().c_str(), c.folder_mode);
    const int status = InChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit size_limit{c.size_limit, c.size_limit};
      if (setrlimit(RLIMIT_FSIZE, &size_limit) != 0) return 2;
      if (c.size_limit == RLIM_INFINITY && geteuid() == 0 &&
          (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        return 2;
      }
      settings.WriteIniValue("s", "k", "2");
      settings.WriteIniValue("t", "k", "2");
      return 0;
    });
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(status, 0) << c.name;
    EXPECT_EQ(ReadFile(settings.path()), c.file_exists ? text : "") << c.name;
    EXPECT_EQ(FilesIn(dir).size(), c.file_exists ? 1u : 0u) << c.name;
  }
}

// Two processes write 200 keys each at the same moment while a third reads: no value is lost,
// a reader never sees a damaged file, and the file ends well-formed.
TEST(SettingsWriteTest, ConcurrentWritersLoseNothing) {
  constexpr int kKeys = 200;
  TempDir dir;
  const Settings settings(dir.File("webletter.ini"));
  WriteFile(settings.path(), "[Default]\r\nKept=yes\r\n");
  const auto section_of = [](int i) { return i % 2 == 0 ? "Default" : "Jobs"; };
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> writers;
  for (const std::string prefix : {"A", "B"}) {
    const pid_t child = fork();
    if (child == 0) {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) _exit(2);
      for (int i = 0; i < kKeys; ++i) {
        settings.WriteIniValue(section_of(i), prefix + std::to_string(i), "v" + std::to_string(i));
      }
      _exit(0);
    }
    writers.push_back(child);
  }
  close(start[0]);
  close(start[1]);  // both writers start now
  int bad_reads = 0;
  for (int running = 2; running > 0;) {
    bad_reads += settings.GetIniValue("Default", "Kept") != "yes";
    running = 0;
    for (const pid_t writer : writers) running += waitpid(writer, nullptr, WNOHANG) == 0;
  }
  EXPECT_EQ(bad_reads, 0);

  for (const std::string prefix : {"A", "B"}) {
    for (int i = 0; i < kKeys; ++i) {
      EXPECT_EQ(settings.GetIniValue(section_of(i), prefix + std::to_string(i)),
                "v" + std::to_string(i));
    }
  }
  // Well-formed: both sections once, nothing but our lines, the file's own CR LF throughout.
  const std::string text = ReadFile(settings.path());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 2 * kKeys);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 3 + 2 * kKeys);
  EXPECT_EQ(std::count(text.begin(), text.end(), '['), 2);
  EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"webletter.ini"});
}

}  // namespace
}  // namespace webletter
