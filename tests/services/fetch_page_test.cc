// The page fetch against a real web server on the loopback address (tests/support/http_server.py):
// what arrives for each kind of response, the error number of each kind of failure, the limits,
// and the wait callback.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/standard_messages.h"
#include "services/page_fetch.h"
#include "support/test_server.h"

namespace webletter {
namespace {

using namespace std::chrono_literals;
using testing::TestServer;

// The pages as http_server.py sends them.
const std::string kPage =
    "<!DOCTYPE html>\n<html><head><title>Webletter test page</title></head>\n"
    "<body><p>Hello from the test server.</p></body></html>\n";
const std::string kMarkerPage =
    "<html><head><META NAME=\"webletterCheck\" CONTENT=\"1\"><title>Checked</title></head>"
    "<body>Checked page</body></html>\n";

// A string literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string SizeBody(std::size_t n) {
  const std::string line = "abcdefghijklmnopqrstuvwxyz0123456789\n";
  std::string body;
  while (body.size() < n) body += line;
  body.resize(n);
  return body;
}

// A loopback port where nothing listens: bound once, then released.
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class FetchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A proxy from the environment must not stand between the tests and their server.
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      ::unsetenv(name);
    }
    server_ = std::make_unique<TestServer>("http_server.py", std::vector<std::string>{});
  }
  static void TearDownTestSuite() { server_.reset(); }

  static std::string Url(const std::string& path) { return "http://" + server_->HostPort() + path; }

  static std::unique_ptr<TestServer> server_;
};

std::unique_ptr<TestServer> FetchTest::server_;

TEST_F(FetchTest, EveryKindOfGoodResponseArrivesByteForByte) {
  struct Case {
    std::string path;
    std::string bytes;
    std::string charset;
  };
  const std::vector<Case> cases = {
      {"/page", kPage, "utf-8"},
      {"/marker", kMarkerPage, "utf-8"},
      {"/empty", "", "utf-8"},
      {"/gzip", kPage, "utf-8"},
      {"/chunked", kPage, "utf-8"},
      {"/redirect/1", kPage, "utf-8"},
      {"/redirect/10", kPage, "utf-8"},
      {"/big", SizeBody(1 << 20), "utf-8"},
      {"/gzip-bomb/100000", std::string(100000, 'a'), "utf-8"},
      {"/trickle?bytes=5&interval=10", "xxxxx", "utf-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Result<Page> page = FetchPage(Url(c.path));
    ASSERT_TRUE(page.ok()) << page.status().number();
    EXPECT_EQ(page->bytes.size(), c.bytes.size());
    EXPECT_TRUE(page->bytes == c.bytes);
    EXPECT_EQ(page->charset, c.charset);
  }
}

TEST_F(FetchTest, CharsetComesFromHeaderBomMetaOrTheBytes) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string charset;
    std::string text;  // the decoded page
  };
  const std::vector<Case> cases = {
      {"header-latin1", "<html><body>Caf\xe9 cr\xe8me, na\xefve</body></html>", "iso-8859-1",
       "<html><body>Café crème, naïve</body></html>"},
      {"header-quoted", "<html><body>Grüße – 日本</body></html>", "utf-8",
       "<html><body>Grüße – 日本</body></html>"},
      {"header-unknown",
       "<html><head><meta charset=\"iso-8859-2\"></head><body>\xb3\xf3"
       "d\xbc</body></html>",
       "iso-8859-2", "<html><head><meta charset=\"iso-8859-2\"></head><body>łódź</body></html>"},
      {"meta",
       "<html><head><meta charset=\"windows-1251\"><title>t</title></head>"
       "<body>\xcf\xf0\xe8\xe2\xe5\xf2</body></html>",
       "windows-1251",
       "<html><head><meta charset=\"windows-1251\"><title>t</title></head>"
       "<body>Привет</body></html>"},
      {"meta-http-equiv",
       "<html><head><META HTTP-EQUIV=\"Content-Type\" "
       "CONTENT=\"text/html; charset=iso-8859-15\"></head><body>5 \xa4</body></html>",
       "iso-8859-15",
       "<html><head><META HTTP-EQUIV=\"Content-Type\" "
       "CONTENT=\"text/html; charset=iso-8859-15\"></head><body>5 €</body></html>"},
      {"bom-utf8", "\xef\xbb\xbf<html>Grüße</html>", "utf-8", "<html>Grüße</html>"},
      {"bom-utf16le",
       Bytes("\xff\xfe<\0h\0t\0m\0l\0>\0G\0r\0\xfc\0\xdf\0"
             "e\0<\0/\0h\0t\0m\0l\0>\0"),
       "utf-16le", "<html>Grüße</html>"},
      {"none-latin1", "<html><body>Caf\xe9</body></html>", "windows-1252",
       "<html><body>Café</body></html>"},
      {"none-utf8", "<html><body>Café ✓</body></html>", "utf-8",
       "<html><body>Café ✓</body></html>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<Page> page = FetchPage(Url("/charset/" + c.name));
    ASSERT_TRUE(page.ok()) << page.status().number();
    EXPECT_TRUE(page->bytes == c.bytes);
    EXPECT_EQ(page->charset, c.charset);
    EXPECT_EQ(page->DecodedText(), c.text);
  }
}

TEST_F(FetchTest, EveryFailureHasItsOwnErrorNumber) {
  struct Case {
    std::string url;
    int error;
  };
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/page";
  const std::vector<Case> cases = {
      {Url("/status/401"), error::kFetchAccessDenied},
      {Url("/status/403"), error::kFetchAccessDenied},
      {Url("/status/404"), error::kFetchPageNotFound},
      {Url("/status/410"), error::kFetchPageNotFound},
      {Url("/no-such-route"), error::kFetchPageNotFound},
      {Url("/status/500"), error::kFetchServerError},
      {Url("/status/503"), error::kFetchServerError},
      {Url("/status/400"), error::kFetchHttpError},
      {Url("/status/418"), error::kFetchHttpError},
      {Url("/redirect/11"), error::kFetchTooManyRedirects},
      {Url("/loop"), error::kFetchTooManyRedirects},
      {Url("/redirect-file"), error::kFetchUnsupportedScheme},
      {Url("/redirect-ftp"), error::kFetchUnsupportedScheme},
      {Url("/reset"), error::kFetchConnectionBroken},
      {Url("/truncated"), error::kFetchConnectionBroken},
      {Url("/nothing"), error::kFetchConnectionBroken},
      {Url("/bad-chunked"), error::kFetchConnectionBroken},
      {Url("/bad-gzip"), error::kFetchBadContent},
      {"ftp://" + server_->HostPort() + "/page", error::kFetchUnsupportedScheme},
      {"file:///etc/passwd", error::kFetchUnsupportedScheme},
      {"gopher://" + server_->HostPort() + "/", error::kFetchUnsupportedScheme},
      {"", error::kFetchBadAddress},
      {"http://", error::kFetchBadAddress},
      {"http://[::1", error::kFetchBadAddress},
      {Url("/page\r\nX-Injected: 1"), error::kFetchBadAddress},
      {Url("/page") + std::string(1, '\0') + "ignored", error::kFetchBadAddress},
      {"https://" + server_->HostPort() + "/page", error::kFetchTlsFailed},
      {"http://no-such-host.invalid/", error::kFetchHostNotFound},
      {nowhere, error::kFetchCannotConnect},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const Result<Page> page = FetchPage(c.url);
    ASSERT_FALSE(page.ok());
    EXPECT_EQ(page.status().number(), c.error);
  }
}

TEST_F(FetchTest, RequestNamesTheProgramAndAcceptsCompression) {
  const Result<Page> page = FetchPage(Url("/headers"));
  ASSERT_TRUE(page.ok());
  EXPECT_NE(page->bytes.find("User-Agent: Webletter/2.00\n"), std::string::npos) << page->bytes;
  EXPECT_NE(page->bytes.find("gzip"), std::string::npos) << page->bytes;
}

TEST_F(FetchTest, LimitsEndSlowAndOversizedTransfers) {
  struct Case {
    std::string path;
    FetchLimits limits;
    int error;  // 0: the page arrives
  };
  FetchLimits short_time;
  short_time.total_timeout = 300ms;
  FetchLimits one_mib;
  one_mib.max_body_bytes = 1 << 20;
  FetchLimits two_redirects;
  two_redirects.max_redirects = 2;
  const std::vector<Case> cases = {
      {"/slow?delay=5", short_time, error::kFetchTimeout},
      {"/trickle?bytes=50&interval=100", short_time, error::kFetchTimeout},
      {"/endless", one_mib, error::kFetchTooLarge},
      {"/gzip-bomb/2000000", one_mib, error::kFetchTooLarge},  // counts decompressed bytes
      {"/size/1048577", one_mib, error::kFetchTooLarge},
      {"/size/1048576", one_mib, 0},
      {"/redirect/2", two_redirects, 0},
      {"/redirect/3", two_redirects, error::kFetchTooManyRedirects},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    const Result<Page> page = FetchPage(Url(c.path), {}, c.limits);
    EXPECT_EQ(page.status().number(), c.error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  }
}

TEST_F(FetchTest, CallbackRunsBetweenWaitsOfASlowResponse) {
  int calls = 0;
  const Result<Page> page = FetchPage(Url("/slow?delay=0.5"), [&] {
    ++calls;
    return true;
  });
  ASSERT_TRUE(page.ok());
  EXPECT_EQ(page->bytes, kPage);
  // 500 ms in slices of 20 ms: about 25 calls; far fewer would leave a window frozen.
  EXPECT_GE(calls, 5);
}

TEST_F(FetchTest, CallbackReturningFalseCancelsTheTransfer) {
  int calls = 0;
  const auto start = std::chrono::steady_clock::now();
  const Result<Page> page = FetchPage(Url("/slow?delay=10"), [&] { return ++calls < 3; });
  EXPECT_EQ(page.status().number(), error::kFetchCancelled);
  EXPECT_EQ(calls, 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(FetchTest, CallbackMayStartAnotherFetch) {
  std::vector<Result<Page>> inner;
  const Result<Page> outer = FetchPage(Url("/slow?delay=0.3"), [&] {
    if (inner.empty()) {
      inner.push_back(FetchPage(Url("/charset/none-latin1"), [] { return true; }));
      inner.push_back(FetchPage(Url("/status/404")));
    }
    return true;
  });
  ASSERT_TRUE(outer.ok()) << outer.status().number();
  EXPECT_EQ(outer->bytes, kPage);
  ASSERT_EQ(inner.size(), 2u);
  ASSERT_TRUE(inner[0].ok());
  EXPECT_EQ(inner[0]->charset, "windows-1252");
  EXPECT_EQ(inner[1].status().number(), error::kFetchPageNotFound);
}

// A trust store named in SSL_CERT_FILE is used: a missing one fails before any handshake, where
// the system's store would have reached the (failing) handshake.
TEST_F(FetchTest, TrustStoreFromEnvironmentIsUsed) {
  const std::string url = "https://" + server_->HostPort() + "/page";
  ::setenv("SSL_CERT_FILE", "/nonexistent/ca-bundle.pem", 1);
  const Result<Page> page = FetchPage(url);
  ::unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(page.status().number(), error::kFetchCertificateInvalid);
  EXPECT_EQ(FetchPage(url).status().number(), error::kFetchTlsFailed);
}

}  // namespace
}  // namespace webletter
