#include "support/case_rows.h"

#include <charconv>
#include <map>
#include <sstream>

#include "support/temp_dir.h"

namespace webletter::testing {
namespace {

// A field as written in a case file: C's \n \r \t \\ and \xHH, and {c*N} for N times c.
std::string Unescape(std::string_view field) {
  static const std::map<char, char> kNamed = {{'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'\\', '\\'}};
  std::string text;
  for (size_t at = 0; at < field.size(); ++at) {
    const size_t close = field[at] == '{' ? field.find('}', at) : std::string_view::npos;
    size_t count = 0;
    if (field[at] == '\\' && field.substr(at + 1, 1) == "x") {
      text += static_cast<char>(std::stoi(std::string(field.substr(at + 2, 2)), nullptr, 16));
      at += 3;
    } else if (field[at] == '\\' && at + 1 < field.size()) {
      text += kNamed.at(field[++at]);
    } else if (close != std::string_view::npos && close > at + 3 && field[at + 2] == '*' &&
               std::from_chars(&field[at + 3], &field[close], count).ptr == &field[close]) {
      text.append(count, field[at + 1]);
      at = close;
    } else {
      text += field[at];
    }
  }
  return text;
}

}  // namespace

std::vector<std::vector<std::string>> CaseRows(std::string_view name) {
  std::istringstream lines(ReadFile(WEBLETTER_TEST_SUPPORT_DIR "/../" + std::string(name)));
  if (lines.str().empty()) throw std::runtime_error("no cases in " + std::string(name));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(Unescape(field));
    if (line.back() == '\t') row.emplace_back();
  }
  return rows;
}

}  // namespace webletter::testing
