// The command line: the program's arguments joined with single blanks into one text, split at
// every comma. The first item names the section (or asks for help or the version), the second is
// the reporting mode, later items are ignored. No arguments at all mean window mode.
#ifndef WEBLETTER_APP_COMMAND_LINE_H_
#define WEBLETTER_APP_COMMAND_LINE_H_

#include <string>
#include <string_view>
#include <vector>

namespace webletter {

enum class RunKind {
  kWindow,
  kHelp,     // "help" in any letter case: the usage, also in a box on a display
  kUsage,    // "--help" or "-h": the usage on standard output only
  kVersion,  // "--version"
  kBatch,
  kMisuse,  // "--dry-run" without a section
};

struct Invocation {
  RunKind kind = RunKind::kWindow;
  std::string section;      // the first item, unchanged (not trimmed)
  std::string report_mode;  // the second item without leading and trailing blanks, or ""
  bool dry_run = false;     // "--dry-run " in front of the section: compose, never send
};

// The arguments after the program's name joined with single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// Splits at every comma; empty items count. An empty text gives no items.
std::vector<std::string> SplitCommandLine(std::string_view text);

// What a command-line text asks for. "help" in any letter case (and nothing around it) asks for
// the usage text; a blank in front of it makes it a section name. "--help", "-h" and "--version"
// count only exactly so, so that no other section name changes meaning. "--dry-run" and a blank
// in front of SECTION[,MODE] ask for a dry run of that section; "--dry-run" alone is a misuse.
Invocation ParseCommandLine(std::string_view text);

// The usage text. The first line ends in CR alone, every other line in CR LF.
extern const std::string_view kUsageText;

}  // namespace webletter

#endif  // WEBLETTER_APP_COMMAND_LINE_H_
