// The command line takes any bytes: nothing crashes, the items joined with "," give the text
// back, and a batch run's section is the first item as it stands.
//
// Input: the command-line text. Its NUL bytes also split it into arguments for JoinArguments.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "fuzz_fields.h"

namespace webletter::fuzz {
namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ',';
    text += items[i];
  }
  return text;
}

bool IsHelp(std::string_view item) {
  if (item.size() != 4) return false;
  std::string lower(item);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower == "help";
}

std::string TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

void CheckJoinArguments(const Fields& arguments) {
  std::vector<std::string> owned{"webletter"};
  for (std::size_t i = 0; i < arguments.size(); ++i) owned.emplace_back(arguments[i]);
  std::vector<const char*> argv;
  for (const std::string& argument : owned) argv.push_back(argument.c_str());
  std::string expected;
  for (std::size_t i = 1; i < owned.size(); ++i) {
    if (i > 1) expected += ' ';
    expected += owned[i];
  }
  Check(JoinArguments(static_cast<int>(argv.size()), argv.data()) == expected,
        "arguments join with single blanks");
}

}  // namespace
}  // namespace webletter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using namespace webletter::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> items = SplitCommandLine(text);
  Check(items.empty() == text.empty(), "only an empty text has no items");
  Check(Join(items) == text, "the items joined with commas give the text");
  for (const std::string& item : items) {
    Check(item.find(',') == std::string::npos, "no item holds a comma");
  }

  const Invocation invocation = ParseCommandLine(text);
  if (text.empty()) {
    Check(invocation.kind == RunKind::kWindow, "no text means window mode");
  } else if (IsHelp(items[0])) {
    Check(invocation.kind == RunKind::kHelp, "help asks for the usage text");
  } else {
    Check(invocation.kind == RunKind::kBatch, "anything else is a batch run");
    Check(invocation.section == items[0], "the section is the first item unchanged");
    Check(invocation.report_mode == (items.size() >= 2 ? TrimSpaces(items[1]) : ""),
          "the mode is the second item without surrounding blanks");
  }

  CheckJoinArguments(Fields(data, size));
  return 0;
}
