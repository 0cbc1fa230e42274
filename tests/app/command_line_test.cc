#include "app/command_line.h"

#include <string>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(CommandLineTest, ArgumentsAreJoinedWithSingleBlanks) {
  const char* split[] = {"webletter", "news,", "log"};
  const char* none[] = {"webletter"};
  EXPECT_EQ(JoinArguments(3, split), "news, log");
  EXPECT_EQ(JoinArguments(1, none), "");
}

TEST(CommandLineTest, ChoosesHelpBatchOrWindow) {
  struct Case {
    std::string text;
    RunKind kind;
    std::string section;
    std::string mode;
  };
  const Case cases[] = {
      {"", RunKind::kWindow, "", ""},
      {"HeLP", RunKind::kHelp, "", ""},
      {"HELP,log", RunKind::kHelp, "", ""},
      {" help", RunKind::kBatch, " help", ""},
      {"news , \tlogmail  ,extra", RunKind::kBatch, "news ", "\tlogmail"},
      {"news,LOG", RunKind::kBatch, "news", "LOG"},
      {",,,", RunKind::kBatch, "", ""},
      {"Nachrichten für Über,mail", RunKind::kBatch, "Nachrichten für Über", "mail"},
      {"news," + std::string(100'000, 'x'), RunKind::kBatch, "news", std::string(100'000, 'x')},
      {std::string(100'000, ','), RunKind::kBatch, "", ""},
  };
  for (const Case& c : cases) {
    const Invocation invocation = ParseCommandLine(c.text);
    EXPECT_EQ(invocation.kind, c.kind) << c.text.substr(0, 30);
    EXPECT_EQ(invocation.section, c.section) << c.text.substr(0, 30);
    EXPECT_EQ(invocation.report_mode, c.mode) << c.text.substr(0, 30);
  }
}

}  // namespace
}  // namespace webletter
