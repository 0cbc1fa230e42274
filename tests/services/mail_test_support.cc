#include "services/mail_test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "gtest/gtest.h"

namespace webletter::testing {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string> ServerArguments(const std::string& folder, const std::string& fault) {
  if (fault.empty()) return {folder};
  return {folder, "--fault", fault};
}

}  // namespace

std::vector<std::string> ParsedMail::All(std::string_view key) const {
  std::vector<std::string> values;
  const std::string prefix = std::string(key) + " ";
  for (const std::string& line : lines) {
    if (line.starts_with(prefix)) values.push_back(line.substr(prefix.size()));
  }
  return values;
}

std::string ParsedMail::One(std::string_view key) const {
  const std::vector<std::string> values = All(key);
  return values.empty() ? std::string() : values.front();
}

std::string ParsedMail::Header(std::string_view name) const {
  const std::string prefix = Lower(name) + ": ";
  for (const std::string& header : All("header")) {
    if (Lower(header.substr(0, prefix.size())) == prefix) return header.substr(prefix.size());
  }
  return {};
}

ParsedMail ParseMail(std::string_view raw) {
  TempDir dir;
  dir.Write("message.eml", raw);
  const ProgramRun run = RunProgram({WEBLETTER_TEST_PYTHON, SupportFile("parse_message.py"),
                                     dir.File("message.eml"), dir.File("body")});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  ParsedMail mail{{}, dir.Read("body")};
  std::istringstream out(run.out);
  for (std::string line; std::getline(out, line);) mail.lines.push_back(line);
  return mail;
}

SmtpTestServer::SmtpTestServer(const std::string& fault)
    : server_("smtp_server.py", ServerArguments(folder_.path(), fault)) {}

// A message is complete once its .json is written: the .json files say which there are.
std::vector<std::string> SmtpTestServer::Stored(const std::string& extension) const {
  std::vector<std::filesystem::path> records;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    if (entry.path().extension() == ".json") records.push_back(entry.path());
  }
  std::sort(records.begin(), records.end());
  std::vector<std::string> contents;
  for (std::filesystem::path& record : records) {
    contents.push_back(ReadFile(record.replace_extension(extension).string()));
  }
  return contents;
}

}  // namespace webletter::testing
