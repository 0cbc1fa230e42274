// The real executable, copied into a folder of its own.
#include <filesystem>
#include <string>

#include "gtest/gtest.h"
#include "support/temp_dir.h"
#include "support/test_server.h"

namespace webletter {
namespace {

using testing::ProgramRun;
using testing::RunProgram;
using testing::TempDir;

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::copy_file(WEBLETTER_EXECUTABLE, exe_); }

  ProgramRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), exe_);
    return RunProgram(args, {"-DISPLAY", "-WAYLAND_DISPLAY"});
  }

  TempDir dir_;
  std::string exe_ = dir_.File("webletter");
};

TEST_F(StartUpTest, HelpWritesTheSevenUsageLinesAndSucceeds) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"help"}, {"Help,", "x"}}) {
    const ProgramRun run = Run(args);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err,
              "The commandline can take 1 or 2 parameters, separated by a comma.\n"
              "1st : Name of a section in the webletter.ini file\n"
              "2nd : (optional) Reporting mode can be\n"
              "log (log sents and errors in webletter.log)\n"
              "mail (send mail with report)\n"
              "logmail (write in log AND send mail)\n"
              "silent (no errormessages whatsoever)\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("webletter.log")));
  }
}

TEST_F(StartUpTest, WindowWithoutDisplayFailsWithOneClearLine) {
  const ProgramRun run = Run({});
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("webletter SECTION"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

}  // namespace
}  // namespace webletter
