// The mail: addresses in their wire form, the header lines of names and subjects, the
// Message-ID, the body's encoding and charset; the EHLO name, the server's reply as shown, the
// netrc sign-in, and the send's time limits against a loopback server of the test's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/standard_messages.h"
#include "services/mail/ehlo_name.h"
#include "services/mail/mail_steps.h"
#include "services/mail/mail_stream.h"
#include "services/mail/netrc.h"
#include "services/mail/server_reply.h"
#include "services/mail/smtp_mailer.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

MailAddress Address(std::string_view text) { return *MailAddress::Parse(text); }

MailContent Content(std::string_view subject, std::string_view from_name = "",
                    std::string_view body = "x\r\n") {
  MailContent content;
  content.from = Address("news@example.org");
  content.from_name = from_name;
  content.to.push_back({Address("reader@example.net"), ""});
  content.subject = subject;
  content.body = body;
  return content;
}

std::string Composed(const MailContent& content) { return *ComposeMail(content); }

// Header `name` with its continuation lines, "" when it is missing.
std::string Header(const std::string& message, const std::string& name) {
  const std::size_t start = message.find("\r\n" + name + ":");
  if (start == std::string::npos) return "";
  std::size_t end = start + 2;
  do end = message.find("\r\n", end) + 2;
  while (message[end] == ' ');
  return message.substr(start + 2, end - start - 4);
}

TEST(MailAddressTest, WireFormOrRefusal) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/mail_address_cases.tsv")) {
    ASSERT_EQ(row.size(), 2u);
    const Result<MailAddress> result = MailAddress::Parse(row[0]);
    const bool refused = result.status().number() == error::kMailAddressInvalid;
    EXPECT_EQ(result.ok() ? result->wire()
              : refused   ? "refused"
                          : result.status().message(),
              row[1])
        << row[0];
  }
}

TEST(MailHeaderTest, SubjectAndSenderNameLines) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/mail_header_cases.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    SCOPED_TRACE(row[0] + " / " + row[1]);
    const std::string message = Composed(Content(row[0], row[1]));
    EXPECT_EQ(Header(message, "Subject"), row[2]);
    EXPECT_EQ(Header(message, "From"), row[3]);
  }
}

// An encoded word that has less than 30 columns left on its line starts the next.
TEST(MailHeaderTest, RecipientLineFoldsBetweenMailboxes) {
  MailContent content = Content("x");
  content.to = {{Address("reader@example.net"), "Doe, Jane"},
                {Address("b@Bücher.example"), " "},
                {Address("c@example.net"), "Zoë"},
                {Address("d@example.net"), "Ünal Çelik"}};
  EXPECT_EQ(Header(Composed(content), "To"),
            "To: \"Doe, Jane\" <reader@example.net>, b@xn--bcher-kva.example,\r\n"
            " =?UTF-8?Q?Zo=C3=AB?= <c@example.net>, =?UTF-8?B?w5xuYWwgw4dlbGlr?=\r\n"
            " <d@example.net>");
}

// The sender's domain when it is a host name, in its ASCII form.
TEST(MailHeaderTest, MessageIdOnTheSendersDomain) {
  MailContent content = Content("x");
  content.from = Address("news@Bücher.example");
  EXPECT_TRUE(Header(Composed(content), "Message-Id").ends_with("@xn--bcher-kva.example>"));
  content.from = Address("news@[192.0.2.1]");  // no host name
  EXPECT_TRUE(Header(Composed(content), "Message-Id").ends_with("@localhost.localdomain>"));
}

TEST(MailBodyTest, QuotedPrintableOrBase64) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/body_encoding_cases.tsv")) {
    ASSERT_EQ(row.size(), 3u);
    const auto& [body, encoding, encoded] = std::tie(row[0], row[1], row[2]);
    SCOPED_TRACE(::testing::PrintToString(body));
    const std::string message = Composed(Content("x", "", body));
    EXPECT_EQ(Header(message, "Content-Transfer-Encoding"),
              "Content-Transfer-Encoding: " + encoding);
    EXPECT_EQ(message.substr(message.find("\r\n\r\n") + 4), encoded);
  }
  // More blocks of sixteen than a lane counts.
  const std::string body = std::string(4096, '\001') + std::string(17, 'a');
  EXPECT_EQ(Header(Composed(Content("x", "", body)), "Content-Transfer-Encoding"),
            "Content-Transfer-Encoding: base64");
}

// The body's charset goes into the Content-Type header: a plain token or nothing is sent.
TEST(MailBodyTest, CharsetIsAPlainToken) {
  SmtpMailer mailer;
  for (const char* taken : {"us-ascii", "aAzZ09-_.:+"}) {
    EXPECT_EQ(mailer.MailBody("x", taken), Status::Ok()) << taken;
  }
  for (const char* refused : {"", "utf 8", "utf-8\r\nBcc: x@y", "\xc3\xbc"}) {
    EXPECT_EQ(mailer.MailBody("x", refused), Status(error::kMailComposeFailed)) << refused;
  }
}

TEST(EhloNameTest, FirstFullyQualifiedNameElseAnAddressLiteral) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/ehlo_name_cases.tsv")) {
    ASSERT_EQ(row.size(), 6u);
    const auto& [name, lookups_run, host, canonical, sender_domain, local_address] =
        std::tie(row[0], row[1], row[2], row[3], row[4], row[5]);
    int lookups = 0;
    const auto lookup = [&lookups](const std::string& found) {
      return [&lookups, found] { return ++lookups, found; };
    };
    EXPECT_EQ(ChooseEhloName({host, lookup(canonical), sender_domain, lookup(local_address)}),
              name);
    EXPECT_EQ(lookups, std::stoi(lookups_run)) << name;
  }
}

TEST(ServerReplyTest, CodeAndLastLineFitToShow) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/server_reply_cases.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    const auto& [shown, code, password, last_line] = std::tie(row[0], row[1], row[2], row[3]);
    EXPECT_EQ(ServerReplyDetail(std::stol(code), last_line, password), shown) << last_line;
  }
}

TEST(NetrcTest, FindsTheFirstMachineEntryForTheHostWithALogin) {
  for (const std::vector<std::string>& row : testing::CaseRows("services/mail/netrc_cases.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    const auto& [found, host, login, text] = std::tie(row[0], row[1], row[2], row[3]);
    const std::optional<NetrcLogin> entry = FindNetrcLogin(text, host, login);
    EXPECT_EQ(entry ? entry->login + "/" + entry->password : "none", found)
        << text << " | host " << host << " login " << login;
  }
}

// A loopback SMTP server for one connection, from a thread of its own: it takes the message and
// never answers QUIT, or (not `greets`) never says a word. The client's commands come one at a
// time, each in a piece of its own; so do the message and its end.
class UnfinishedServer {
 public:
  explicit UnfinishedServer(bool greets) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    host_port = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    thread_ = std::thread([this, greets] { Serve(accept(listener_, nullptr, nullptr), greets); });
  }
  ~UnfinishedServer() {
    shutdown(listener_, SHUT_RDWR);  // wakes accept() up when no one came
    thread_.join();
    close(listener_);
  }
  std::string host_port;

 private:
  static void Serve(int client, bool greets) {
    std::string_view reply = greets ? "220 unfinished.example\r\n" : "";
    char piece[4096];
    for (ssize_t n; client >= 0 && write(client, reply.data(), reply.size()) >= 0 &&
                    (n = read(client, piece, sizeof piece)) > 0;) {
      const std::string_view said(piece, static_cast<std::size_t>(n));
      const bool command = said.size() > 4 && said[4] == ' ';  // EHLO, MAIL and RCPT
      const bool end = said == ".\r\n" || said.ends_with("\r\n.\r\n");
      reply = said.starts_with("DATA") ? "354 go on\r\n" : command || end ? "250 ok\r\n" : "";
    }
    close(client);
  }
  const int listener_ = socket(AF_INET, SOCK_STREAM, 0);
  std::thread thread_;
};

MailSteps StepsTo(std::string_view server) {
  return {server,  "news@example.org",
          {},      "reader@example.net",
          {},      std::string("News"),
          "x\r\n", "utf-8",
          {},      -1};
}

TEST(TimeLimitTest, SendToAServerThatNeverAnswers) {
  const UnfinishedServer server(false);
  MailLimits limits;
  limits.total_timeout = std::chrono::milliseconds(300);
  EXPECT_EQ(SendInSteps(StepsTo(server.host_port), limits), Status(error::kMailTimeout));
}

// The message was taken; the wait for the answer to QUIT, where libcurl alone would wait two
// minutes, ends at the limit.
TEST(TimeLimitTest, SendEndsAtTheLimitWhenQuitIsNotAnswered) {
  const UnfinishedServer server(true);
  MailLimits limits;
  limits.total_timeout = std::chrono::seconds(2);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendInSteps(StepsTo(server.host_port), limits), Status::Ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace webletter
