// The time limits of the fetch and the send, against a loopback socket that listens but never
// answers: the kernel completes the handshake, and the request then waits for nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/standard_messages.h"
#include "services/mail_steps.h"
#include "services/page_fetch.h"
#include "services/smtp_transport.h"

namespace webletter {
namespace {

using std::chrono::milliseconds;

class SilentServer {
 public:
  SilentServer() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    EXPECT_EQ(bind(socket_, generic, size), 0);
    EXPECT_EQ(listen(socket_, 4), 0);
    EXPECT_EQ(getsockname(socket_, generic, &size), 0);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(socket_); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }

 private:
  int socket_ = socket(AF_INET, SOCK_STREAM, 0);
  int port_ = 0;
};

const FetchLimits kFetchLimits{.connect_timeout = milliseconds(5000),
                               .total_timeout = milliseconds(300)};
const MailLimits kMailLimits{.connect_timeout = milliseconds(5000),
                             .total_timeout = milliseconds(300)};

TEST(TimeLimitTest, FetchFromASilentServerTimesOut) {
  const SilentServer server;
  const Status status = FetchPage("http://" + server.HostPort() + "/", {}, kFetchLimits).status();
  EXPECT_EQ(status.number(), error::kFetchTimeout);
  EXPECT_EQ(status.message(), "The web server did not answer in time");
}

TEST(TimeLimitTest, FetchEndsWhenTheWaitCallbackSaysSo) {
  const SilentServer server;
  int calls = 0;
  const auto third_call_stops = [&calls] { return ++calls < 3; };
  const Status status =
      FetchPage("http://" + server.HostPort() + "/", third_call_stops, kFetchLimits).status();
  EXPECT_EQ(status.number(), error::kFetchCancelled);
  EXPECT_EQ(status.message(), "The page fetch was cancelled");
  EXPECT_EQ(calls, 3);
}

TEST(TimeLimitTest, SendToASilentServerTimesOut) {
  const SilentServer server;
  SmtpEndpoint endpoint;
  endpoint.host = "127.0.0.1";
  endpoint.port = server.port();
  const Status status = SendSmtp(endpoint, {"a@example.org", {"b@example.org"}},
                                 "Subject: x\r\n\r\nx\r\n", kMailLimits);
  EXPECT_EQ(status.number(), error::kMailTimeout);
  EXPECT_EQ(status.message(), "The mail server did not answer in time");
}

TEST(TimeLimitTest, StepsToASilentServerTimeOut) {
  const SilentServer server;
  const std::string address = server.HostPort();
  const MailSteps steps{.server = address,
                        .from_address = "news@example.org",
                        .from_name = "Desk",
                        .to_address = "reader@example.net",
                        .to_name = "Reader",
                        .subject = std::string("News"),
                        .body = "<p>page</p>\r\n",
                        .html = true};
  const Status status = SendInSteps(steps, kMailLimits);
  EXPECT_EQ(status.number(), error::kMailTimeout);
  EXPECT_EQ(status.message(), "The mail server did not answer in time");
}

}  // namespace
}  // namespace webletter
