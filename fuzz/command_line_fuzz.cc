// The command line: any arguments (the input split at NUL bytes) give window mode only when
// there are none, and a batch run's section is the text (after "--dry-run " in a dry run) up to
// its first comma, its mode free of blanks at either end.
#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields =
      fuzz::Fields(data, size, static_cast<std::size_t>(std::count(data, data + size, 0)) + 1);
  const std::vector<std::string> arguments(fields.begin(), fields.end());
  std::vector<const char*> argv{"webletter"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const std::string text = JoinArguments(static_cast<int>(argv.size()), argv.data());
  const Invocation invocation = ParseCommandLine(text);
  Check((invocation.kind == RunKind::kWindow) == text.empty(), "window mode only without text");
  if (invocation.kind != RunKind::kBatch) return 0;
  const std::string items =
      invocation.dry_run ? text.substr(std::string("--dry-run ").size()) : text;
  Check(invocation.section == items.substr(0, items.find(',')), "the section runs to the comma");
  const std::string& mode = invocation.report_mode;
  Check(mode.empty() || (mode.front() != ' ' && mode.back() != ' ' &&
                         text.find(mode) != text.npos && mode.find(',') == mode.npos),
        "the mode is the second item without blanks around it", mode);
  return 0;
}
