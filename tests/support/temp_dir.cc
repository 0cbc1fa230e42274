#include "support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace webletter::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "webletter-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(std::string_view name, std::string_view content) const {
  WriteFile(File(name), content);
}

std::string TempDir::Read(std::string_view name) const { return ReadFile(File(name)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::vector<std::vector<std::string>> CaseRows(std::string_view name) {
  std::istringstream lines(ReadFile(WEBLETTER_TEST_SUPPORT_DIR "/../" + std::string(name)));
  if (lines.str().empty()) throw std::runtime_error("no cases in " + std::string(name));
  const std::regex escape(R"(\\(x[0-9A-Fa-f]{2}|.)|\{(.)\*(\d+)\})");
  const std::map<char, char> named = {{'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'\\', '\\'}};
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) {
      std::string text;
      auto at = field.cbegin();
      for (std::sregex_iterator it(field.begin(), field.end(), escape), end; it != end; ++it) {
        const std::smatch& found = *it;
        text.append(at, found[0].first);
        if (found[2].matched) {
          text.append(std::stoul(found[3]), found[2].str()[0]);
        } else if (found[1].length() == 3) {
          text += static_cast<char>(std::stoi(found[1].str().substr(1), nullptr, 16));
        } else {
          text += named.at(found[1].str()[0]);
        }
        at = found[0].second;
      }
      row.push_back(text.append(at, field.cend()));
    }
    if (line.back() == '\t') row.emplace_back();
  }
  return rows;
}

}  // namespace webletter::testing
