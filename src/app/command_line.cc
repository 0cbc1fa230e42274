#include "app/command_line.h"

#include <algorithm>

#include "base/ascii.h"

namespace webletter {
namespace {

// Only blanks count here, as for the classic trim: tabs and other white space stay.
std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

bool IsHelp(std::string_view item) { return EqualsIgnoringAsciiCase(item, "help"); }

constexpr std::string_view kDryRun = "--dry-run";

// SECTION[,MODE[,...]]: a batch job.
Invocation ParseBatch(std::string_view text) {
  Invocation invocation;
  invocation.kind = RunKind::kBatch;
  std::vector<std::string> items = SplitCommandLine(text);
  if (items.empty()) return invocation;
  invocation.section = std::move(items[0]);
  if (items.size() >= 2) invocation.report_mode = TrimBlanks(items[1]);
  return invocation;
}

RunKind KindOfFirstItem(std::string_view item) {
  if (IsHelp(item)) return RunKind::kHelp;
  if (item == "--help" || item == "-h") return RunKind::kUsage;
  if (item == "--version") return RunKind::kVersion;
  return RunKind::kBatch;
}

}  // namespace

const std::string_view kUsageText =
    "The commandline can take 1 or 2 parameters, separated by a comma.\r"
    "1st : Name of a section in the webletter.ini file\r\n"
    "2nd : (optional) Reporting mode can be\r\n"
    "log (log sents and errors in webletter.log)\r\n"
    "mail (send mail with report)\r\n"
    "logmail (write in log AND send mail)\r\n"
    "silent (no errormessages whatsoever)\r\n";

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    items.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

Invocation ParseCommandLine(std::string_view text) {
  Invocation invocation;
  if (text.empty()) return invocation;
  if (text.starts_with(kDryRun) && (text.size() == kDryRun.size() || text[kDryRun.size()] == ' ')) {
    // After the option comes a section, whatever it is called.
    const std::string_view rest = text.substr(std::min(text.size(), kDryRun.size() + 1));
    if (rest.empty()) {
      invocation.kind = RunKind::kMisuse;
      return invocation;
    }
    invocation = ParseBatch(rest);
    invocation.dry_run = true;
    return invocation;
  }
  invocation.kind = KindOfFirstItem(SplitCommandLine(text)[0]);
  if (invocation.kind != RunKind::kBatch) return invocation;
  return ParseBatch(text);
}

}  // namespace webletter
