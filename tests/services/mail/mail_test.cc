// The mail: header lines, body encoding, addresses, the netrc reader, the EHLO name and the
// server's reply as shown; the time limits of the send and of the page fetch.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/standard_messages.h"
#include "services/fetch/page_fetch.h"
#include "services/mail/mail_message.h"
#include "services/mail/mail_steps.h"
#include "services/mail/netrc.h"
#include "services/mail/smtp_mailer.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

MailContent Content(std::string_view subject, std::string_view from_name = "",
                    std::string_view body = "x\r\n") {
  MailContent content;
  content.from = {"news@example.org", std::string(from_name)};
  content.to = {{"reader@example.net", ""}};
  content.subject = subject;
  content.body = std::string(body);
  return content;
}

std::string Composed(const MailContent& content) {
  const Result<std::string> message = ComposeMail(content);
  EXPECT_EQ(message.status().number(), 0);
  return message.ok() ? *message : "";
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
  content.to = {{"reader@example.net", "Doe, Jane"},
                {"b@Bücher.example", " "},
                {"c@example.net", "Zoë"},
                {"d@example.net", "Ünal Çelik"}};
  EXPECT_EQ(Header(Composed(content), "To"),
            "To: \"Doe, Jane\" <reader@example.net>, b@xn--bcher-kva.example,\r\n"
            " =?UTF-8?Q?Zo=C3=AB?= <c@example.net>, =?UTF-8?B?w5xuYWwgw4dlbGlr?=\r\n"
            " <d@example.net>");
}

// Quoted-printable unless more than one byte in six must be escaped (a lone CR or LF among
// them); a body without a final CR LF ends in a soft line break.
TEST(MailBodyTest, QuotedPrintableOrBase64) {
  const std::string qp = "quoted-printable";
  // The body, its encoding and, where it is short enough to spell out, the encoded body.
  const std::vector<std::tuple<std::string, std::string, std::optional<std::string>>> cases = {
      {"", qp, ""},
      {"a=b c d\t\t\r\n", qp, "a=3Db c d\t=09\r\n"},
      {"\200bcd\r\n", qp, "=80bcd\r\n"},
      {"\200bc\r\n", "base64", "gGJjDQo=\r\n"},
      {"\001bc\r\n", "base64", "AWJjDQo=\r\n"},
      {"a\rb\r\n", "base64", "YQ1iDQo=\r\n"},
      {"\nx\r\n", "base64", "CngNCg==\r\n"},
      {"a", qp, "a=\r\n"},
      {"<p>x</p>\n<p>y</p> \n", qp, "<p>x</p>=0A<p>y</p> =0A=\r\n"},
      {"a \r\n b ", qp, "a=20\r\n b=20=\r\n"},
      {std::string(76, 'a') + "\r\n", qp, std::string(75, 'a') + "=\r\na\r\n"},
      // Sixteen bytes at a time: a run that ends in a blank before a line break, a stop in either
      // half, a CR LF across two blocks, and more blocks than a lane counts.
      {"abcdefghijklmno \r\nabcdefghijklmnop\r\n", qp,
       "abcdefghijklmno=20\r\nabcdefghijklmnop\r\n"},
      {"aaa\200aaaaaaaaaa=aaaaaaaaaaaaaaaa\r\n", qp, "aaa=80aaaaaaaaaa=3Daaaaaaaaaaaaaaaa\r\n"},
      {"\200\200aaaaaaaaaaaaa\r\n\200\200aaaaaaaaaaaaa\r\n", qp,
       "=80=80aaaaaaaaaaaaa\r\n=80=80aaaaaaaaaaaaa\r\n"},
      {std::string(4096, '\001') + std::string(17, 'a'), "base64", std::nullopt},
  };
  for (const auto& [body, encoding, encoded] : cases) {
    const std::string message = Composed(Content("x", "", body));
    EXPECT_EQ(Header(message, "Content-Transfer-Encoding"),
              "Content-Transfer-Encoding: " + encoding)
        << ::testing::PrintToString(body);
    if (encoded) {
      EXPECT_EQ(message.substr(message.find("\r\n\r\n") + 4), *encoded)
          << ::testing::PrintToString(body);
    }
  }
  MailContent content = Content("x");
  EXPECT_EQ(Header(Composed(content), "Content-Type"), "Content-Type: text/plain; charset=utf-8");
  content.html = true;
  content.charset = "windows-1252";
  EXPECT_EQ(Header(Composed(content), "Content-Type"),
            "Content-Type: text/html; charset=windows-1252");
  content.from = {"news@[192.0.2.1]", ""};  // no host name for the Message-ID
  EXPECT_TRUE(Header(Composed(content), "Message-Id").ends_with("@localhost.localdomain>"));
}

// The body's charset goes into the Content-Type header: a plain token or nothing is sent.
TEST(MailBodyTest, CharsetIsAPlainToken) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"us-ascii", true}, {"aAzZ09-_.:+", true},        {"", false},
      {"utf 8", false},   {"utf-8\r\nBcc: x@y", false}, {"\xc3\xbc", false}};
  for (const auto& [charset, taken] : cases) {
    SmtpMailer mailer;
    EXPECT_EQ(mailer.MailBody("x", charset).number(), taken ? 0 : error::kMailComposeFailed)
        << charset;
  }
}

TEST(MailAddressTest, WireFormOrRefusal) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/mail_address_cases.tsv")) {
    ASSERT_EQ(row.size(), 2u);
    const Result<std::string> result = WireMailAddress(row[0]);
    const bool refused = result.status().number() == error::kMailAddressInvalid;
    EXPECT_EQ(result.ok() ? *result
              : refused   ? "refused"
                          : result.status().message(),
              row[1])
        << row[0];
  }
}

TEST(NetrcTest, FindsTheFirstMachineEntryForTheHostWithALogin) {
  for (const std::vector<std::string>& row : testing::CaseRows("services/mail/netrc_cases.tsv")) {
    ASSERT_EQ(row.size(), 4u);
    const std::optional<NetrcLogin> found = FindNetrcLogin(row[3], row[1], row[2]);
    EXPECT_EQ(found ? found->login + "/" + found->password : "none", row[0])
        << row[3] << " | host " << row[1] << " login " << row[2];
  }
}

// A loopback port that takes connections (the kernel completes the handshake) and never
// answers, as "127.0.0.1:port"; closed when the test ends.
class SilentServer {
 public:
  SilentServer() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    listen(socket_, 4);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    host_port = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }
  ~SilentServer() { close(socket_); }
  int fd() const { return socket_; }
  std::string host_port;

 private:
  const int socket_ = socket(AF_INET, SOCK_STREAM, 0);
};

// Answers every connection with `answer`, from a thread of its own.
class AnsweringServer : public SilentServer {
 public:
  explicit AnsweringServer(std::string answer) : answer_(std::move(answer)) {}
  ~AnsweringServer() {
    shutdown(fd(), SHUT_RDWR);  // wakes accept() up
    thread_.join();
  }
  std::atomic<int> connections = 0;

 private:
  void Serve() {
    for (int client; (client = accept(fd(), nullptr, nullptr)) >= 0; close(client)) {
      char request[4096];
      if (read(client, request, sizeof request) > 0) ++connections;
      if (write(client, answer_.data(), answer_.size()) < 0) continue;
    }
  }
  const std::string answer_;
  std::thread thread_{[this] { Serve(); }};
};

TEST(FetchAddressTest, ARedirectFromAPublicAddressNeverReachesALocalOne) {
  AnsweringServer page("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nlocal");
  const std::string moved = "HTTP/1.1 301 Moved\r\nContent-Length: 0\r\nLocation: http://";
  AnsweringServer public_site(moved + page.host_port + "/admin\r\n\r\n");
  AnsweringServer local_site(moved + page.host_port + "/\r\n\r\n");
  FetchLimits limits;  // every address but the public site's is local
  const auto public_port =
      htons(static_cast<in_port_t>(std::stoi(public_site.host_port.substr(10))));
  limits.is_local_address = [&](const sockaddr* a) {
    return reinterpret_cast<const sockaddr_in*>(a)->sin_port != public_port;  // IPv6 alike
  };

  const Status refused = FetchPage("http://" + public_site.host_port + "/", {}, limits).status();
  EXPECT_EQ(refused.number(), error::kFetchRedirectToLocal);
  EXPECT_EQ(page.connections, 0);
  for (const std::string& local : {page.host_port, local_site.host_port}) {
    const Result<Page> fetched = FetchPage("http://" + local + "/", {}, limits);
    EXPECT_EQ(fetched.ok() ? fetched->bytes : fetched.status().message(), "local") << local;
  }
}

TEST(FetchAddressTest, LocalNetworkAddresses) {
  const std::string local =
      "127.0.0.1 127.255.0.9 10.1.2.3 172.16.0.1 172.31.9.9 192.168.1.1 169.254.1.1 100.64.0.1 "
      "100.127.9.9 0.0.0.0 ::1 :: fe80::1 febf::1 fec0::1 feff::1 fc00::1 fdff::1 "
      "::ffff:127.0.0.1 64:ff9b::10.0.0.1";
  const std::string public_ones =
      "11.0.0.1 172.32.0.1 172.15.9.9 192.169.0.1 169.255.0.1 100.128.0.1 8.8.8.8 ::2 fe00::1 "
      "fbff::1 ::ffff:8.8.8.8 64:ff9b::8.8.8.8 2001:db8::1 2606:4700::1111";
  for (const bool is_local : {true, false}) {
    std::istringstream texts(is_local ? local : public_ones);
    for (std::string text; texts >> text;) {
      sockaddr_in v4{AF_INET, 0, {}, {}};
      sockaddr_in6 v6{AF_INET6, 0, 0, {}, 0};
      const bool is_v4 = inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1;
      ASSERT_TRUE(is_v4 || inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) << text;
      EXPECT_EQ(IsLocalNetworkAddress(is_v4 ? reinterpret_cast<const sockaddr*>(&v4)
                                            : reinterpret_cast<const sockaddr*>(&v6)),
                is_local)
          << text;
    }
  }
}

TEST(EhloNameTest, FirstFullyQualifiedNameElseAnAddressLiteral) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/ehlo_name_cases.tsv")) {
    int lookups = 0;
    const auto lookup = [&lookups](const std::string& found) {
      return [&lookups, found] { return ++lookups, found; };
    };
    EXPECT_EQ(ChooseEhloName({row[2], lookup(row[3]), row[4], lookup(row[5])}), row[0]);
    EXPECT_EQ(lookups, std::stoi(row[1])) << row[0];
  }
}

TEST(ServerReplyTest, CodeAndLastLineFitToShow) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/mail/server_reply_cases.tsv")) {
    EXPECT_EQ(ServerReplyDetail(std::stol(row[1]), row[3], row[2]), row[0]) << row[3];
  }
}

TEST(TimeLimitTest, FetchFromAServerThatNeverAnswers) {
  const SilentServer server;
  const std::string url = "http://" + server.host_port + "/";
  FetchLimits limits;
  limits.total_timeout = std::chrono::milliseconds(300);
  const Status timeout = FetchPage(url, {}, limits).status();
  EXPECT_EQ(timeout.number(), error::kFetchTimeout);
  EXPECT_EQ(timeout.message(), "The web server did not answer in time");
  int calls = 0;
  const auto third_call_stops = [&calls] { return ++calls < 3; };
  EXPECT_EQ(FetchPage(url, third_call_stops, limits).status().number(), error::kFetchCancelled);
  EXPECT_EQ(calls, 3);
}

TEST(TimeLimitTest, SendToAServerThatNeverAnswers) {
  const SilentServer server;
  MailLimits limits;
  limits.total_timeout = std::chrono::milliseconds(300);
  const MailSteps steps{server.host_port,
                        "news@example.org",
                        {},
                        "reader@example.net",
                        {},
                        std::string("News"),
                        "x\r\n",
                        "utf-8",
                        true};
  const Status status = SendInSteps(steps, limits);
  EXPECT_EQ(status.number(), error::kMailTimeout);
  EXPECT_EQ(status.message(), "The mail server did not answer in time");
}

}  // namespace
}  // namespace webletter
