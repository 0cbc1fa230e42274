#include "app/command_line.h"

#include <string>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(CommandLineTest, ArgumentsAreJoinedWithSingleBlanks) {
  const char* split[] = {"webletter", "news,", "log"};
  const char* quoted[] = {"webletter", "news, log"};
  EXPECT_EQ(JoinArguments(3, split), "news, log");
  EXPECT_EQ(JoinArguments(2, quoted), "news, log");
  const char* none[] = {"webletter"};
  EXPECT_EQ(JoinArguments(1, none), "");
}

TEST(CommandLineTest, ChoosesHelpBatchOrWindow) {
  struct Case {
    std::string_view text;
    RunKind kind;
    std::string_view section;
    std::string_view mode;
  };
  const Case cases[] = {
      {"", RunKind::kWindow, "", ""},
      {"help", RunKind::kHelp, "", ""},
      {"HeLP", RunKind::kHelp, "", ""},
      {"HELP,log", RunKind::kHelp, "", ""},
      {" help", RunKind::kBatch, " help", ""},
      {"help ", RunKind::kBatch, "help ", ""},
      {"news", RunKind::kBatch, "news", ""},
      {"news,log", RunKind::kBatch, "news", "log"},
      {"news,  logmail  ", RunKind::kBatch, "news", "logmail"},
      {"news ,log", RunKind::kBatch, "news ", "log"},
      {"news,LOG", RunKind::kBatch, "news", "LOG"},
      {"news,", RunKind::kBatch, "news", ""},
      {"news,log,extra,more", RunKind::kBatch, "news", "log"},
      {"news,\tlog ", RunKind::kBatch, "news", "\tlog"},
      {",log", RunKind::kBatch, "", "log"},
      {",,,", RunKind::kBatch, "", ""},
      {"\"news\", log", RunKind::kBatch, "\"news\"", "log"},
      {"Nachrichten für Über,mail", RunKind::kBatch, "Nachrichten für Über", "mail"},
  };
  for (const Case& c : cases) {
    const Invocation invocation = ParseCommandLine(c.text);
    EXPECT_EQ(invocation.kind, c.kind) << c.text;
    EXPECT_EQ(invocation.section, c.section) << c.text;
    EXPECT_EQ(invocation.report_mode, c.mode) << c.text;
  }
}

TEST(CommandLineTest, HugeAndCommaOnlyTextsSplitAsUsual) {
  const std::string commas(100'000, ',');
  EXPECT_EQ(SplitCommandLine(commas).size(), 100'001u);
  const Invocation only_commas = ParseCommandLine(commas);
  EXPECT_EQ(only_commas.kind, RunKind::kBatch);
  EXPECT_EQ(only_commas.section, "");

  const std::string long_mode = "news," + std::string(100'000, 'x');
  EXPECT_EQ(ParseCommandLine(long_mode).report_mode.size(), 100'000u);
}

TEST(CommandLineTest, UsageTextKeepsItsLineBreaks) {
  EXPECT_TRUE(kUsageText.starts_with(
      "The commandline can take 1 or 2 parameters, separated by a comma.\r1st : "));
  EXPECT_TRUE(kUsageText.ends_with("silent (no errormessages whatsoever)\r\n"));
  std::size_t crlf = 0;
  for (std::size_t i = 0; (i = kUsageText.find("\r\n", i)) != std::string_view::npos; ++i) ++crlf;
  EXPECT_EQ(crlf, 6u);
}

}  // namespace
}  // namespace webletter
