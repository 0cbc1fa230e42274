// The callers' steps (SendInSteps) against a real SMTP server on loopback
// (tests/support/smtp_server.py): what arrives, read back by an independent parser, and how every
// kind of failure ends.
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/standard_messages.h"
#include "services/mail_steps.h"
#include "services/mail_test_support.h"

namespace webletter {
namespace {

using testing::ParsedMail;
using testing::ParseMail;
using testing::SmtpTestServer;

// The steps of one message from news@example.org to reader@example.net through `server`.
MailSteps Steps(const std::string& server, std::string_view body = "<p>page</p>\n",
                std::string_view charset = "utf-8", bool html = true) {
  return {.server = server,
          .from_address = "news@example.org",
          .from_name = "Webletter Desk",
          .to_address = "reader@example.net",
          .to_name = "Jürgen Müller",
          .subject = std::string("Nieuwsbrief – week 12"),
          .body = body,
          .body_charset = charset,
          .html = html};
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

const std::string kLongLines = "<html><body>\n<p>" + std::string(3000, 'a') + "</p>\n" +
                               std::string(5000, 'b') + " " + std::string(1200, 'c') +
                               "\n</html>\n";

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
};

class MailRoundTripTest : public ::testing::TestWithParam<BodyCase> {};

// Bodies that end in CR LF and are mostly text go as quoted-printable, the others as base64: the
// cases take both ways.
TEST_P(MailRoundTripTest, ArrivesByteForByteUnderItsOwnCharset) {
  const BodyCase& c = GetParam();
  SmtpTestServer server;
  ASSERT_EQ(SendInSteps(Steps(server.HostPort(), c.body, c.charset, c.html)).number(), 0);
  const std::vector<std::string> messages = server.Messages();
  ASSERT_EQ(messages.size(), 1u);
  const ParsedMail mail = ParseMail(messages[0]);
  EXPECT_EQ(mail.body.size(), c.body.size());
  EXPECT_TRUE(mail.body == c.body) << "decoded body differs";
  EXPECT_EQ(mail.One("charset"), c.charset);
  EXPECT_EQ(mail.One("content-type"), c.html ? "text/html" : "text/plain");
  EXPECT_EQ(mail.One("defects"), "0");
  EXPECT_EQ(mail.All("header").size(), 9u);  // Date, From, To, Subject and those below
  EXPECT_FALSE(mail.Header("Date").empty());
  EXPECT_TRUE(mail.Header("Message-ID").ends_with("@example.org>")) << mail.Header("Message-ID");
  EXPECT_EQ(mail.Header("MIME-Version"), "1.0");
  EXPECT_EQ(mail.Header("X-Mailer"), "Webletter 2.00");
  EXPECT_EQ(mail.Header("Subject"), "Nieuwsbrief – week 12");
  EXPECT_EQ(mail.One("from-name"), "Webletter Desk");
  EXPECT_EQ(mail.One("to-name"), "Jürgen Müller");
  const std::string envelope = server.Envelopes()[0];
  EXPECT_NE(envelope.find("\"mail_from\": \"news@example.org\""), std::string::npos) << envelope;
  EXPECT_NE(envelope.find("\"rcpt_tos\": [\"reader@example.net\"]"), std::string::npos) << envelope;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, MailRoundTripTest,
    ::testing::ValuesIn(std::vector<BodyCase>{
        {"LongLines", kLongLines, "utf-8", true},
        {"LongLinesCrLf", WithCrLf(kLongLines), "utf-8", true},
        {"DotsBlanksAndEqualsCrLf", WithCrLf(".\n.. two\n. one \n<p>\n.\nx = 1\t\n=3D\nend.\n.\n"),
         "utf-8", false},
        {"Utf8", "<p>Grüße, café, 新闻, ☕ — “quotes”</p>\r\n<p>Ελληνικά</p>\r\n", "utf-8", true},
        {"Windows1252", "<p>caf\xe9, \x93quotes\x94 \x80 10, Gr\xfc\xdf</p>\n", "windows-1252",
         true},
        {"MixedLineEndsNoFinalBreak", "a\r\nb\nc\rd\r\r\n\n\ne  \n\t\nf", "utf-8", false},
        {"BinaryJunk", Junk(), "iso-8859-1", false}}),
    [](const auto& info) { return info.param.name; });

// ---- Failures: each its own number, and nothing stored at the server.

struct FailureCase {
  std::string name;
  std::string fault;  // smtp_server.py's --fault, "" for none
  int expected;
  // A server value; a bare scheme is followed by the test server's address.
  std::string server = "smtp://";
};

class MailFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(MailFailureTest, EndsInItsOwnNumberWithNothingDelivered) {
  const FailureCase& c = GetParam();
  SmtpTestServer server(c.fault);
  MailLimits limits;
  limits.connect_timeout = std::chrono::seconds(2);
  limits.total_timeout = std::chrono::seconds(3);
  const std::string address = c.server.ends_with("://") ? c.server + server.HostPort() : c.server;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(SendInSteps(Steps(address), limits).number(), c.expected);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_TRUE(server.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MailFailureTest,
    ::testing::ValuesIn(std::vector<FailureCase>{
        {"SenderRefused", "refuse-sender", error::kMailSenderRefused},
        {"RecipientRefused", "refuse-recipient", error::kMailRecipientRefused},
        {"DataRefused", "refuse-data", error::kMailMessageRefused},
        {"MessageRefusedAtTheEnd", "refuse-message", error::kMailMessageRefused},
        {"GreetingRefused", "refuse-greeting", error::kMailServerRefused},
        {"EhloRefused", "refuse-ehlo", error::kMailServerRefused},
        {"ClosedDuringData", "close-in-data", error::kMailConnectionClosed},
        {"StallsAfterData", "stall-data", error::kMailTimeout},
        {"StallsBeforeTlsHandshake", "stall-greeting", error::kMailTimeout, "smtps://"},
        {"ImplicitTlsToAPlainServer", "", error::kMailTlsFailed, "smtps://"},
        {"NothingListening", "", error::kMailCannotConnect,
         "127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort())},
        {"UnknownHost", "", error::kMailServerNotFound, "mail.webletter-test.invalid"}}),
    [](const auto& info) { return info.param.name; });

// A failing step does not stop the next, the last failure counts, and nothing is sent after a
// failed step, though the server would take the message.
TEST(MailStepsTest, AFailedStepKeepsTheMessageFromGoingOut) {
  SmtpTestServer server;
  const std::string address = server.HostPort();  // the steps only view it
  MailSteps steps = Steps(address);
  steps.from_address = "news@example.org\r\nRCPT TO:<victim@example.com>";
  EXPECT_EQ(SendInSteps(steps).number(), error::kMailAddressInvalid);
  steps.body_charset = "utf-8\"; name=evil";  // a later step fails too: its number counts
  EXPECT_EQ(SendInSteps(steps).number(), error::kMailComposeFailed);
  steps = Steps(address);
  steps.subject = Status(error::kOverflow);  // the date tag could not be filled
  EXPECT_EQ(SendInSteps(steps).number(), error::kOverflow);
  EXPECT_TRUE(server.Messages().empty());
}

}  // namespace
}  // namespace webletter
