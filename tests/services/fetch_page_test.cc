// The page fetch against a real web server on the loopback address (tests/support/http_server.py):
// what arrives for each kind of response, the error number of each kind of failure, the limits,
// and the wait callback.
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
using testing::UnusedLoopbackPort;

// /page as http_server.py sends it.
const std::string kPage =
    "<!DOCTYPE html>\n<html><head><title>Webletter test page</title></head>\n"
    "<body><p>Hello from the test server.</p></body></html>\n";

// A string literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// /size/<n>: a line repeated and cut at n bytes.
std::string SizeBody(std::size_t n) {
  std::string body;
  while (body.size() < n) body += "abcdefghijklmnopqrstuvwxyz0123456789\n";
  body.resize(n);
  return body;
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

TEST_F(FetchTest, EveryKindOfPageArrivesByteForByteWithItsCharset) {
  struct Case {
    std::string path;
    std::string bytes;
    std::string charset;
    std::string text;  // the decoded page; empty: the bytes as they are
  };
  const std::vector<Case> cases = {
      {"/page", kPage, "utf-8", ""},
      {"/empty", "", "utf-8", ""},
      {"/gzip", kPage, "utf-8", ""},
      {"/chunked", kPage, "utf-8", ""},
      {"/redirect/10", kPage, "utf-8", ""},
      {"/size/1048576", SizeBody(1 << 20), "utf-8", ""},
      {"/gzip-bomb/100000", std::string(100000, 'a'), "utf-8", ""},
      {"/charset/header-latin1", "<html><body>Caf\xe9 cr\xe8me, na\xefve</body></html>",
       "iso-8859-1", "<html><body>Café crème, naïve</body></html>"},
      {"/charset/header-unknown",
       "<html><head><meta charset=\"iso-8859-2\"></head><body>\xb3\xf3"
       "d\xbc</body></html>",
       "iso-8859-2", "<html><head><meta charset=\"iso-8859-2\"></head><body>łódź</body></html>"},
      {"/charset/bom-utf16le",
       Bytes("\xff\xfe<\0h\0t\0m\0l\0>\0G\0r\0\xfc\0\xdf\0"
             "e\0<\0/\0h\0t\0m\0l\0>\0"),
       "utf-16le", "<html>Grüße</html>"},
      {"/charset/none-latin1", "<html><body>Caf\xe9</body></html>", "windows-1252",
       "<html><body>Café</body></html>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Result<Page> page = FetchPage(Url(c.path));
    ASSERT_TRUE(page.ok()) << page.status().number();
    EXPECT_TRUE(page->bytes == c.bytes) << page->bytes.size();
    EXPECT_EQ(page->charset, c.charset);
    EXPECT_TRUE(page->DecodedText() == (c.text.empty() ? c.bytes : c.text));
  }
}

TEST_F(FetchTest, EveryFailureHasItsOwnErrorNumber) {
  struct Case {
    std::string url;
    int error;
  };
  const std::vector<Case> cases = {
      {Url("/status/401"), error::kFetchAccessDenied},
      {Url("/status/410"), error::kFetchPageNotFound},
      {Url("/status/500"), error::kFetchServerError},
      {Url("/status/418"), error::kFetchHttpError},
      {Url("/redirect/11"), error::kFetchTooManyRedirects},
      {Url("/redirect-file"), error::kFetchUnsupportedScheme},
      {"file:///etc/passwd", error::kFetchUnsupportedScheme},
      {Url("/reset"), error::kFetchConnectionBroken},
      {Url("/truncated"), error::kFetchConnectionBroken},
      {Url("/nothing"), error::kFetchConnectionBroken},
      {Url("/bad-chunked"), error::kFetchConnectionBroken},
      {Url("/bad-gzip"), error::kFetchBadContent},
      {"", error::kFetchBadAddress},
      {Url("/page\r\nX-Injected: 1"), error::kFetchBadAddress},
      {Url("/page") + std::string(1, '\0') + "ignored", error::kFetchBadAddress},
      {"https://" + server_->HostPort() + "/page", error::kFetchTlsFailed},
      {"http://no-such-host.invalid/", error::kFetchHostNotFound},
      {"http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/",
       error::kFetchCannotConnect},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(FetchPage(c.url).status().number(), c.error);
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
  const FetchLimits short_time{.total_timeout = 300ms};
  const FetchLimits one_mib{.max_body_bytes = 1 << 20};
  const std::vector<Case> cases = {
      {"/slow?delay=5", short_time, error::kFetchTimeout},
      {"/trickle?bytes=50&interval=100", short_time, error::kFetchTimeout},
      {"/endless", one_mib, error::kFetchTooLarge},
      {"/gzip-bomb/2000000", one_mib, error::kFetchTooLarge},  // counts decompressed bytes
      {"/size/1048577", one_mib, error::kFetchTooLarge},
      {"/size/1048576", one_mib, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchPage(Url(c.path), {}, c.limits).status().number(), c.error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  }
}

TEST_F(FetchTest, CallbackRunsBetweenWaitsOfASlowResponseAndCanCancel) {
  int calls = 0;
  const Result<Page> page = FetchPage(Url("/slow?delay=0.5"), [&] { return ++calls > 0; });
  ASSERT_TRUE(page.ok());
  EXPECT_EQ(page->bytes, kPage);
  // 500 ms in slices of 20 ms: about 25 calls; far fewer would leave a window frozen.
  EXPECT_GE(calls, 5);

  calls = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FetchPage(Url("/slow?delay=10"), [&] { return ++calls < 3; }).status().number(),
            error::kFetchCancelled);
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
  EXPECT_EQ(inner[0].ok() ? inner[0]->charset : "", "windows-1252");
  EXPECT_EQ(inner[1].status().number(), error::kFetchPageNotFound);
}

}  // namespace
}  // namespace webletter
