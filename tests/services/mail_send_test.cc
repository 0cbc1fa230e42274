// The mail sender against a real SMTP server on loopback (tests/support/smtp_server.py): what
// arrives, read back by an independent parser, and how every kind of failure ends.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/error_continuation.h"
#include "platform/standard_messages.h"
#include "services/mail_test_support.h"
#include "services/smtp_mailer.h"

namespace webletter {
namespace {

using testing::ParsedMail;
using testing::ParseMail;
using testing::SmtpTestServer;

// The callers' sequence of steps, through the error continuation.
Status SendThroughSequence(SmtpMailer& mailer, const std::string& server, const std::string& body,
                           const std::string& charset, bool html) {
  ErrorContinuation steps;
  steps.Run([&] { return mailer.SmtpHost(server); });
  steps.Run([&] { return mailer.MailFrom("news@example.org"); });
  steps.Run([&] { return mailer.MailFromName("Webletter Desk"); });
  steps.Run([&] { return mailer.AddRecipient("reader@example.net", "Jürgen Müller"); });
  steps.Run([&] { return mailer.MailSubject("Nieuwsbrief – week 12"); });
  steps.Run([&] { return mailer.MailBody(body, charset); });
  steps.Run([&] { return mailer.AsHtml(html); });
  steps.Run([&] { return mailer.SendMail(); });
  return steps.last_error();
}

std::string LongLines() {
  std::string page = "<html><body>\n<p>" + std::string(3000, 'a') + "</p>\n";
  page += std::string(5000, 'b') + " " + std::string(1200, 'c') + "\n</body></html>\n";
  return page;
}

std::string DotLines() { return ".\n.. two\n. one\r\n.\r\n<p>\n.\nend.\n."; }

std::string Junk() {
  std::mt19937 random(12345);
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk += static_cast<char>(1 + random() % 255);
  return junk;
}

struct BodyCase {
  std::string name;
  std::string body;
  std::string charset;
  bool html;
  std::string encoding = {};  // the transfer encoding expected, "" for either
};

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class MailRoundTripTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(MailRoundTripTest, ArrivesByteForByteUnderItsOwnCharset) {
  const BodyCase& c = GetParam();
  SmtpTestServer server;
  SmtpMailer mailer;
  ASSERT_EQ(SendThroughSequence(mailer, server.HostPort(), c.body, c.charset, c.html).number(), 0);
  const std::vector<std::string> messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const ParsedMail mail = ParseMail(messages[0]);
  EXPECT_EQ(mail.body.size(), c.body.size());
  EXPECT_TRUE(mail.body == c.body) << "decoded body differs";
  EXPECT_EQ(mail.One("charset"), c.charset);
  EXPECT_EQ(mail.One("content-type"), c.html ? "text/html" : "text/plain");
  const std::string encoding = mail.One("transfer-encoding");
  EXPECT_TRUE(encoding == "quoted-printable" || encoding == "base64") << encoding;
  if (!c.encoding.empty()) {
    EXPECT_EQ(encoding, c.encoding);
  }
  EXPECT_EQ(mail.One("defects"), "0");
  EXPECT_EQ(mail.Header("Subject"), "Nieuwsbrief – week 12");
  EXPECT_EQ(mail.One("to-name"), "Jürgen Müller");
  EXPECT_EQ(mail.One("from-name"), "Webletter Desk");
  const std::string envelope = server.Envelope(0);
  EXPECT_NE(envelope.find("\"mail_from\": \"news@example.org\""), std::string::npos) << envelope;
  EXPECT_NE(envelope.find("\"rcpt_tos\": [\"reader@example.net\"]"), std::string::npos) << envelope;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, MailRoundTripTest,
    ::testing::Values(
        BodyCase{"Ascii", "<html><body><p>Hello</p></body></html>\n", "utf-8", true},
        BodyCase{"AsciiCrLf", "<html>\r\n<p>Hello</p>\r\n</html>\r\n", "utf-8", true,
                 "quoted-printable"},
        BodyCase{"NoFinalLineBreak", "<html>\r\n<p>Hello</p>\r\n</html>", "utf-8", true},
        BodyCase{"LongLines", LongLines(), "utf-8", true, "base64"},
        BodyCase{"LongLinesCrLf", WithCrLf(LongLines()), "utf-8", true, "quoted-printable"},
        BodyCase{"LinesStartingWithADot", DotLines(), "utf-8", false},
        BodyCase{"LinesStartingWithADotCrLf", WithCrLf(".\n.. two\n. one\n<p>\n.\nend.\n.\n"),
                 "utf-8", false, "quoted-printable"},
        BodyCase{"Utf8", "<p>Grüße, café, 新闻, ☕ — “quotes”</p>\r\n<p>Ελληνικά</p>\r\n", "utf-8",
                 true},
        BodyCase{"Windows1252",
                 "<p>Gr\xfc\xdf"
                 "e, caf\xe9, \x93quotes\x94 \x80 10</p>\n",
                 "windows-1252", true},
        BodyCase{"MixedLineEnds", "a\r\nb\nc\rd\r\r\n\n\ne  \n\t\nf", "utf-8", false},
        BodyCase{"TrailingSpaceAndEquals", "x = 1 \r\ny=2\t\r\n=3D\r\nend \r\n", "utf-8", false,
                 "quoted-printable"},
        BodyCase{"BinaryJunk", Junk(), "iso-8859-1", false}, BodyCase{"Empty", "", "utf-8", true}),
    [](const auto& info) { return info.param.name; });

// ---- Failures: each its own number, and nothing stored at the server.

int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

struct FailureCase {
  std::string name;
  std::string fault;                   // smtp_server.py's --fault, "" for none
  std::vector<std::string> arguments;  // more arguments for the server
  std::string server;                  // a server value of its own, else the test server
  int expected;
  std::string scheme = {};  // put in front of the test server's address, e.g. "smtps://"
};

class MailFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MailFailureTest, EndsInItsOwnNumberWithNothingDelivered) {
  const FailureCase& c = GetParam();
  SmtpTestServer server(c.fault, c.arguments);
  MailLimits limits;
  limits.connect_timeout = std::chrono::seconds(2);
  limits.total_timeout = std::chrono::seconds(3);
  SmtpMailer mailer(limits);
  const std::string address = c.server.empty() ? c.scheme + server.HostPort() : c.server;
  const auto started = std::chrono::steady_clock::now();
  const Status outcome = SendThroughSequence(mailer, address, "<p>page</p>\n", "utf-8", true);
  EXPECT_EQ(outcome.number(), c.expected) << outcome.message();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_TRUE(server.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MailFailureTest,
    ::testing::Values(
        FailureCase{"SenderRefused", "refuse-sender", {}, "", error::kMailSenderRefused},
        FailureCase{"RecipientRefused", "refuse-recipient", {}, "", error::kMailRecipientRefused},
        FailureCase{"DataRefused", "refuse-data", {}, "", error::kMailMessageRefused},
        FailureCase{"MessageRefusedAtTheEnd", "refuse-message", {}, "", error::kMailMessageRefused},
        FailureCase{"GreetingRefused", "refuse-greeting", {}, "", error::kMailServerRefused},
        FailureCase{"EhloRefused", "refuse-ehlo", {}, "", error::kMailServerRefused},
        FailureCase{"EhloRefusedForNow",
                    "refuse-ehlo",
                    {"--refuse-code", "421"},
                    "",
                    error::kMailServerRefused},
        FailureCase{"ClosedDuringData", "close-in-data", {}, "", error::kMailConnectionClosed},
        FailureCase{"StallsAfterData", "stall-data", {}, "", error::kMailTimeout},
        FailureCase{"StallsBeforeGreeting", "stall-greeting", {}, "", error::kMailTimeout},
        FailureCase{
            "StallsBeforeTlsHandshake", "stall-greeting", {}, "", error::kMailTimeout, "smtps://"},
        FailureCase{"NothingListening",
                    "",
                    {},
                    "127.0.0.1:" + std::to_string(UnusedPort()),
                    error::kMailCannotConnect},
        FailureCase{
            "UnknownHost", "", {}, "mail.webletter-test.invalid", error::kMailServerNotFound}),
    [](const auto& info) { return info.param.name; });

TEST(MailTlsTest, ImplicitTlsToAPlainServerFailsAsTls) {
  SmtpTestServer server;
  MailLimits limits;
  limits.total_timeout = std::chrono::seconds(5);
  SmtpMailer mailer(limits);
  const Status outcome =
      SendThroughSequence(mailer, "smtps://" + server.HostPort(), "<p>page</p>", "utf-8", true);
  EXPECT_EQ(outcome.number(), error::kMailTlsFailed);
  EXPECT_TRUE(server.Messages().empty());
}

}  // namespace
}  // namespace webletter
