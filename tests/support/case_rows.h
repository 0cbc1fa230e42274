// Tables of cases kept as files under tests/: a row a line, fields split at tabs, lines that are
// empty or start with "#" skipped. In a field, \n \r \t \\ and \xHH stand for what they do in C,
// and {C*N} for N times the character C. A file that is missing or empty throws, so that no
// test passes on no cases.
#ifndef WEBLETTER_TESTS_SUPPORT_CASE_ROWS_H_
#define WEBLETTER_TESTS_SUPPORT_CASE_ROWS_H_

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace webletter::testing {

// The rows of the table `name` (relative to tests/).
std::vector<std::vector<std::string>> CaseRows(std::string_view name);

// The same rows, each of exactly `kColumns` fields (a row of another size throws), so that a
// test names its columns: for (const auto& [text, shown] : CaseRows<2>("...")).
template <std::size_t kColumns>
std::vector<std::array<std::string, kColumns>> CaseRows(std::string_view name) {
  std::vector<std::array<std::string, kColumns>> rows;
  for (std::vector<std::string>& row : CaseRows(name)) {
    if (row.size() != kColumns) throw std::runtime_error("a row of another size: " + row[0]);
    std::move(row.begin(), row.end(), rows.emplace_back().begin());
  }
  return rows;
}

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SUPPORT_CASE_ROWS_H_
