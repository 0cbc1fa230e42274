// The mail: addresses in their wire form, the header lines of names, subjects and lists, the
// Message-ID, the body's encoding, charset and size, alone and after a text alternative; the
// EHLO name, the server's reply as shown, the netrc sign-in, and the send's time limits against
// a loopback server of the test's own, and the wait of a session opened ahead.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/standard_messages.h"
#include "services/curl_support.h"
#include "services/loopback_server.h"
#include "services/mail/ehlo_name.h"
#include "services/mail/mail_steps.h"
#include "services/mail/mail_stream.h"
#include "services/mail/netrc.h"
#include "services/mail/server_reply.h"
#include "services/mail/smtp_mailer.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

// The rows of case file `name` of this folder; each must have `columns` fields.
std::vector<std::vector<std::string>> Rows(const std::string& name, std::size_t columns) {
  std::vector<std::vector<std::string>> rows = testing::CaseRows("services/mail/" + name);
  const std::size_t all = rows.size();
  std::erase_if(rows, [&](const auto& row) { return row.size() != columns; });
  EXPECT_EQ(rows.size(), all) << name << " has rows without " << columns << " fields";
  return rows;
}

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

// The message read from one stream in small pieces; fails the test when it is not the size that
// the stream announced.
std::string ReadWithItsSize(const MailContent& content) {
  const std::unique_ptr<MailStream> stream = std::move(MailStream::Open(content).value());
  std::string message;
  char piece[1000];
  while (const std::size_t n = *stream->Read(piece, sizeof piece)) message.append(piece, n);
  EXPECT_EQ(stream->ExpectedSize(), static_cast<long long>(message.size()));
  return message;
}

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
  for (const std::vector<std::string>& row : Rows("mail_address_cases.tsv", 2)) {
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
  for (const std::vector<std::string>& row : Rows("mail_header_cases.tsv", 4)) {
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
  for (const std::vector<std::string>& row : Rows("body_encoding_cases.tsv", 3)) {
    const auto& [body, encoding, encoded] = std::tie(row[0], row[1], row[2]);
    SCOPED_TRACE(::testing::PrintToString(body));
    MailContent content = Content("x", "", body);
    const std::string message = ReadWithItsSize(content);
    EXPECT_EQ(Header(message, "Content-Transfer-Encoding"),
              "Content-Transfer-Encoding: " + encoding);
    EXPECT_EQ(message.substr(message.find("\r\n\r\n") + 4), encoded);
    // After a text alternative: the same part, closed by the boundary.
    content.plain_text = "Text \xC3\xA9\n";
    content.html = true;
    const std::string alternative = ReadWithItsSize(content);
    const std::size_t html =
        alternative.find("\r\n\r\n", alternative.find("Content-Type: text/html")) + 4;
    const std::size_t closing = alternative.rfind("\r\n--=-");
    EXPECT_EQ(alternative.substr(html, closing - html), encoded);
    EXPECT_TRUE(alternative.ends_with("--\r\n"));
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

TEST(MailingListTest, ListHeadersOrRefusal) {
  for (const std::vector<std::string>& row : Rows("mailing_list_cases.tsv", 3)) {
    const auto& [id, unsubscribe, headers] = std::tie(row[0], row[1], row[2]);
    const Result<MailingList> list = ParseMailingList(id, unsubscribe);
    std::string shown = list.ok() ? "" : "error " + std::to_string(list.status().number());
    if (list.ok()) {
      MailContent content = Content("x");
      content.list = *list;
      const std::string message = Composed(content);
      for (const char* name : {"List-Id", "List-Unsubscribe", "List-Unsubscribe-Post"}) {
        const std::string line = Header(message, name);
        if (!line.empty()) shown += (shown.empty() ? "" : "\r\n") + line;
      }
    }
    EXPECT_EQ(shown, headers) << id << " | " << unsubscribe;
  }
}

TEST(EhloNameTest, FirstFullyQualifiedNameElseAnAddressLiteral) {
  for (const std::vector<std::string>& row : Rows("ehlo_name_cases.tsv", 6)) {
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

// Nothing listens on port 9 here: a connection would fail.
TEST(EhloNameTest, LocalAddressFoundWithoutConnecting) {
  SmtpEndpoint endpoint;
  endpoint.port = 9;
  for (const std::string address : {"127.0.0.1", "::1"}) {
    endpoint.host = address == "::1" ? "[::1]" : address;
    EXPECT_EQ(LocalAddressTowards(endpoint), address);
  }
}

TEST(ServerReplyTest, CodeAndLastLineFitToShow) {
  for (const std::vector<std::string>& row : Rows("server_reply_cases.tsv", 4)) {
    const auto& [shown, code, password, last_line] = std::tie(row[0], row[1], row[2], row[3]);
    EXPECT_EQ(ServerReplyDetail(std::stol(code), last_line, password), shown) << last_line;
  }
}

TEST(NetrcTest, FindsTheFirstMachineEntryForTheHostWithALogin) {
  for (const std::vector<std::string>& row : Rows("netrc_cases.tsv", 4)) {
    const auto& [found, host, login, text] = std::tie(row[0], row[1], row[2], row[3]);
    const std::optional<NetrcLogin> entry = FindNetrcLogin(text, host, login);
    EXPECT_EQ(entry ? entry->login + "/" + entry->password : "none", found)
        << text << " | host " << host << " login " << login;
  }
}

// An SMTP server's answer to each command, the message and its end, but none to QUIT.
std::string AnswerButQuit(std::string_view said) {
  const bool command = said.size() > 4 && said[4] == ' ';  // EHLO, MAIL and RCPT
  const bool end = said == ".\r\n" || said.ends_with("\r\n.\r\n");
  return said.starts_with("DATA") ? "354 go on\r\n" : command || end ? "250 ok\r\n" : "";
}

// The steps of a short message through `server`.
MailSteps ShortMessage(const std::string& server) {
  return {server,  "news@example.org",
          {},      "reader@example.net",
          {},      std::string("N"),
          "x\r\n", "utf-8",
          {},      -1};
}

// Sends a short message through `server` within `limit`.
Status SendWithin(const std::string& server, std::chrono::milliseconds limit) {
  MailLimits limits;
  limits.total_timeout = limit;
  return SendInSteps(ShortMessage(server), limits);
}

// A server that says nothing has taken nothing; one that has the whole message but does not
// confirm it in time may have taken it, and the failure says so.
TEST(TimeLimitTest, SendToAServerThatStopsAnswering) {
  const testing::LoopbackServer silent([](std::string_view) { return std::string(); });
  EXPECT_EQ(SendWithin(silent.host_port, std::chrono::milliseconds(300)),
            Status(error::kMailTimeout));
  const testing::LoopbackServer unconfirming(
      [](std::string_view said) {
        return said.ends_with("\r\n.\r\n") || said == ".\r\n" ? "" : AnswerButQuit(said);
      },
      "220 unfinished.example\r\n");
  EXPECT_EQ(SendWithin(unconfirming.host_port, std::chrono::seconds(1)),
            Status(error::kMailNotConfirmed));
}

// The message was taken; the wait for the answer to QUIT, where libcurl alone would wait two
// minutes, ends at the limit.
TEST(TimeLimitTest, SendEndsAtTheLimitWhenQuitIsNotAnswered) {
  const testing::LoopbackServer server(AnswerButQuit, "220 unfinished.example\r\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SendWithin(server.host_port, std::chrono::seconds(2)), Status::Ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// A session opened ahead that waited longer than it may for its message is cut off inside
// DATA, before a byte of it, and the message goes whole on a fresh session.
TEST(EarlySessionTest, OneThatWaitedTooLongLeavesTheMessageToAFreshOne) {
  std::atomic<int> sessions = 0;
  std::atomic<int> messages = 0;
  const testing::LoopbackServer mail(
      [&](std::string_view said) {
        sessions += said.starts_with("EHLO");
        messages += said == ".\r\n" || said.ends_with("\r\n.\r\n");
        return said.starts_with("QUIT") ? "221 bye\r\n" : AnswerButQuit(said);
      },
      "220 mail.example\r\n");
  const testing::LoopbackServer slow_page([](std::string_view) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return "HTTP/1.1 204 No Content\r\n\r\n";
  });
  MailLimits limits;
  limits.session_wait = std::chrono::milliseconds(50);
  MailSteps steps = ShortMessage(mail.host_port);
  CurlDriver driver;
  const std::unique_ptr<SmtpSession> session = OpenSessionAhead(steps, driver, limits);
  ASSERT_NE(session, nullptr);

  // The page's download on the same driver, during which the session reaches DATA and waits.
  const CurlEasy page = NewCurlEasy();
  const std::string url = "http://" + slow_page.host_port + "/";
  CurlOptions options(page.get());
  ASSERT_TRUE(SetSharedOptions(options).ok());
  ASSERT_TRUE(options.Set(CURLOPT_URL, url.c_str()).ok());
  ASSERT_TRUE(driver.Add(page.get()));
  EXPECT_EQ(driver.Run(page.get(), std::chrono::milliseconds(20), {}).result, CURLE_OK);

  steps.session = session.get();
  EXPECT_EQ(SendInSteps(std::move(steps), limits), Status::Ok());
  EXPECT_EQ(sessions, 2);
  EXPECT_EQ(messages, 1);
}

}  // namespace
}  // namespace webletter
