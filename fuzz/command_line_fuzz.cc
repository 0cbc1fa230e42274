// The command line: the arguments (the input split at NUL bytes) join with single blanks, the
// items split at commas join back into the text, and a batch run's section is the first item
// as it stands, its mode the second without blanks around it.
#include <algorithm>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, std::count(data, data + size, 0) + 1);
  const std::vector<std::string> arguments(fields.begin(), fields.end());
  std::vector<const char*> argv{"webletter"};
  std::string joined;
  for (const std::string& argument : arguments) {
    joined += (argv.size() > 1 ? " " : "") + argument;
    argv.push_back(argument.c_str());
  }
  const std::string text = JoinArguments(static_cast<int>(argv.size()), argv.data());
  Check(text == joined, "the arguments join with single blanks", text);

  const std::vector<std::string> items = SplitCommandLine(text);
  std::string items_joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    Check(items[i].find(',') == std::string::npos, "no item holds a comma", items[i]);
    items_joined += (i > 0 ? "," : "") + items[i];
  }
  Check(items.empty() == text.empty() && items_joined == text, "the items join into the text");

  const Invocation invocation = ParseCommandLine(text);
  std::string first = items.empty() ? "" : items[0];
  for (char& c : first) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  const RunKind kind = text.empty()      ? RunKind::kWindow
                       : first == "help" ? RunKind::kHelp
                                         : RunKind::kBatch;
  Check(invocation.kind == kind, "window without text, help for \"help\", else a batch run");
  if (kind != RunKind::kBatch) return 0;
  std::string mode = items.size() > 1 ? items[1] : "";
  mode.erase(0, std::min(mode.find_first_not_of(' '), mode.size()));
  mode.erase(mode.find_last_not_of(' ') + 1);
  Check(invocation.section == items[0] && invocation.report_mode == mode,
        "the section is the first item, the mode the second without blanks around it");
  return 0;
}
