// The page fetch against loopback servers of the test's own: a redirect never reaches a local
// address from a public one, which addresses count as local, the size limit and the fetch's
// time limit.
#include "services/fetch/page_fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/standard_messages.h"
#include "services/loopback_server.h"
#include "support/temp_dir.h"

namespace webletter {
namespace {

// Answers every request with `response`.
testing::LoopbackServer::Answer Always(std::string response) {
  return [response](std::string_view) { return response; };
}

TEST(FetchAddressTest, ARedirectFromAPublicAddressNeverReachesALocalOne) {
  testing::LoopbackServer page(Always("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nlocal"));
  const std::string moved = "HTTP/1.1 301 Moved\r\nContent-Length: 0\r\nLocation: http://";
  testing::LoopbackServer public_site(Always(moved + page.host_port + "/admin\r\n\r\n"));
  testing::LoopbackServer local_site(Always(moved + page.host_port + "/\r\n\r\n"));
  FetchLimits limits;  // every address but the public site's is local
  const auto public_port =
      htons(static_cast<in_port_t>(std::stoi(public_site.host_port.substr(10))));
  limits.is_local_address = [&](const sockaddr* a) {
    return reinterpret_cast<const sockaddr_in*>(a)->sin_port != public_port;  // IPv6 alike
  };

  const Status refused = FetchPage("http://" + public_site.host_port + "/", {}, limits).status();
  EXPECT_EQ(refused.number(), error::kFetchRedirectToLocal);
  EXPECT_EQ(page.pieces, 0);
  for (const std::string& local : {page.host_port, local_site.host_port}) {
    const Result<Page> fetched = FetchPage("http://" + local + "/", {}, limits);
    EXPECT_EQ(fetched.ok() ? fetched->bytes : fetched.status().message(), "local") << local;
  }
}

TEST(FetchAddressTest, LocalNetworkAddresses) {
  for (const std::vector<std::string>& row :
       testing::CaseRows("services/fetch/local_address_cases.tsv")) {
    ASSERT_EQ(row.size(), 2u);
    sockaddr_in v4{AF_INET, 0, {}, {}};
    sockaddr_in6 v6{AF_INET6, 0, 0, {}, 0};
    const bool is_v4 = inet_pton(AF_INET, row[0].c_str(), &v4.sin_addr) == 1;
    ASSERT_TRUE(is_v4 || inet_pton(AF_INET6, row[0].c_str(), &v6.sin6_addr) == 1) << row[0];
    EXPECT_EQ(IsLocalNetworkAddress(is_v4 ? reinterpret_cast<const sockaddr*>(&v4)
                                          : reinterpret_cast<const sockaddr*>(&v6)),
              row[1] == "local")
        << row[0];
  }
  const sockaddr unix_socket{AF_UNIX, {}};
  EXPECT_FALSE(IsLocalNetworkAddress(&unix_socket)) << "another family is no network address";
}

// A page of exactly the size limit is the page; one byte more is refused, with and without a
// Content-Length that announces it.
TEST(SizeLimitTest, APageOfTheLimitIsTakenAndOneByteMoreRefused) {
  FetchLimits limits;
  limits.max_body_bytes = 5;
  for (const bool announced : {true, false}) {
    for (const std::string body : {"12345", "123456"}) {
      const std::string size = std::to_string(body.size());
      const std::string rest =
          announced ? "Content-Length: " + size + "\r\n\r\n" + body
                    : "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + body + "\r\n0\r\n\r\n";
      const testing::LoopbackServer server(Always("HTTP/1.1 200 OK\r\n" + rest));
      const Result<Page> fetched = FetchPage("http://" + server.host_port + "/", {}, limits);
      EXPECT_EQ(fetched.ok() ? fetched->bytes : fetched.status().message(),
                body.size() <= 5 ? body : "The page is too large (more than 64 MiB)")
          << body << (announced ? " announced" : " not announced");
    }
  }
}

TEST(TimeLimitTest, FetchFromAServerThatNeverAnswers) {
  const testing::LoopbackServer server(Always(""));
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
