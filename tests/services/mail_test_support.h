// What the mail tests need around the real SMTP server (tests/support/smtp_server.py) and the
// independent message parser (tests/support/parse_message.py).
#ifndef WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"
#include "support/test_server.h"

namespace webletter::testing {

// A message as Python's email package reads it.
struct ParsedMail {
  std::vector<std::string> lines;  // parse_message.py's output, one fact a line
  std::string body;                // the decoded body bytes

  // The values of every line "<key> <value>", e.g. All("to-address").
  std::vector<std::string> All(std::string_view key) const;
  // The first value for `key`, "" when there is none.
  std::string One(std::string_view key) const;
  // The decoded value of header `name` (any letter case), "" when it is missing.
  std::string Header(std::string_view name) const;
};

// Runs parse_message.py on `raw`; fails the test when the parser does not run.
ParsedMail ParseMail(std::string_view raw);

// The SMTP server with its own folder of received messages.
class SmtpTestServer {
 public:
  // `fault` is one of smtp_server.py's --fault names, or empty.
  explicit SmtpTestServer(const std::string& fault = {});

  std::string HostPort() const { return server_.HostPort(); }
  int port() const { return server_.port(); }
  // The raw bytes of every message stored, in the order received.
  std::vector<std::string> Messages() const { return Stored(".eml"); }
  // The envelope record (JSON text) of every message stored.
  std::vector<std::string> Envelopes() const { return Stored(".json"); }

 private:
  std::vector<std::string> Stored(const std::string& extension) const;

  TempDir folder_;
  TestServer server_;
};

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_
