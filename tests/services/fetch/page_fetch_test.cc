// The page fetch against loopback servers of the test's own: a redirect never reaches a local
// address from a public one, which addresses count as local, and the fetch's time limit.
#include "services/fetch/page_fetch.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "base/standard_messages.h"

namespace webletter {
namespace {

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

}  // namespace
}  // namespace webletter
