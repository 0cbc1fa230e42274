#include "services/mail_test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "gtest/gtest.h"

namespace webletter::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> StoredFiles(const std::string& folder, std::string_view extension) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Whether the line "Name: value" is header `name`; header names match without regard to case.
bool IsHeader(std::string_view line, std::string_view name) {
  if (line.size() < name.size() + 2 || line.substr(name.size(), 2) != ": ") return false;
  return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
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
  for (const std::string& value : All("header")) {
    if (IsHeader(value, name)) return value.substr(name.size() + 2);
  }
  return {};
}

int ParsedMail::HeaderCount(std::string_view name) const {
  const std::vector<std::string> headers = All("header");
  return static_cast<int>(std::count_if(headers.begin(), headers.end(),
                                        [&](const auto& value) { return IsHeader(value, name); }));
}

ParsedMail ParseMail(std::string_view raw) {
  TempDir dir;
  dir.Write("message.eml", raw);
  const ProgramRun run = RunProgram({WEBLETTER_TEST_PYTHON, SupportFile("parse_message.py"),
                                     dir.File("message.eml"), dir.File("body")});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  return {Lines(run.out), dir.Read("body")};
}

SmtpTestServer::SmtpTestServer(const std::string& fault,
                               const std::vector<std::string>& more_arguments) {
  std::vector<std::string> arguments{folder_.path()};
  if (!fault.empty()) arguments.insert(arguments.end(), {"--fault", fault});
  arguments.insert(arguments.end(), more_arguments.begin(), more_arguments.end());
  server_ = std::make_unique<TestServer>("smtp_server.py", arguments);
}

std::vector<std::string> SmtpTestServer::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& record : StoredFiles(folder_.path(), ".json")) {
    messages.push_back(ReadFile(record.substr(0, record.size() - 5) + ".eml"));
  }
  return messages;
}

std::string SmtpTestServer::Envelope(std::size_t index) const {
  const std::vector<std::string> records = StoredFiles(folder_.path(), ".json");
  return index < records.size() ? ReadFile(records[index]) : std::string();
}

}  // namespace webletter::testing
