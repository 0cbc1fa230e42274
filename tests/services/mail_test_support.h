// What the mail tests need around the real SMTP server (tests/support/smtp_server.py) and the
// independent message parser (tests/support/parse_message.py).
#ifndef WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_

#include <memory>
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

  // The values of every line "<key> <value>" (for headers: key "header", value "Name: ...").
  std::vector<std::string> All(std::string_view key) const;
  // The first value for `key`, "" when there is none.
  std::string One(std::string_view key) const;
  // The decoded value of header `name` (any letter case), "" when it is missing.
  std::string Header(std::string_view name) const;
  int HeaderCount(std::string_view name) const;
};

// Runs parse_message.py on `raw`; fails the test when the parser does not run.
ParsedMail ParseMail(std::string_view raw);

// The SMTP server with its own folder of received messages.
class SmtpTestServer {
 public:
  // `fault` is one of smtp_server.py's --fault names, or empty.
  explicit SmtpTestServer(const std::string& fault = {},
                          const std::vector<std::string>& more_arguments = {});

  std::string HostPort() const { return server_->HostPort(); }
  int port() const { return server_->port(); }
  // The raw bytes of every message stored, in the order received.
  std::vector<std::string> Messages() const;
  // The envelope record of message `index` (JSON text).
  std::string Envelope(std::size_t index) const;

 private:
  TempDir folder_;
  std::unique_ptr<TestServer> server_;
};

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SERVICES_MAIL_TEST_SUPPORT_H_
