#include "services/page_fetch.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/standard_messages.h"

namespace webletter {
namespace {

constexpr char kUserAgent[] = "Webletter/2.00";
constexpr char kWebProtocols[] = "http,https";
// Without a callback nothing needs to run between waits; curl still wakes up for its own timers.
constexpr std::chrono::milliseconds kPlainWaitSlice{1000};

Status InitCurlOnce() {
  static std::once_flag once;
  static CURLcode init_result = CURLE_OK;
  std::call_once(once, [] { init_result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return init_result == CURLE_OK ? Status::Ok() : Status(error::kFetchFailed);
}

// Where the body goes while it arrives, and why the transfer was stopped early if it was.
struct BodySink {
  CURL* easy = nullptr;
  std::size_t limit = 0;
  std::string bytes;
  bool too_large = false;
  bool error_status = false;
};

// Keeps the body (libcurl passes on only the last response of a redirect chain). Stops the
// transfer, by returning a short count, when the body passes the limit or when the response is
// an error whose body is of no use.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const std::size_t length = size * count;
  long status = 0;
  curl_easy_getinfo(sink->easy, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 400) {
    sink->error_status = true;
    return 0;
  }
  if (length > sink->limit - sink->bytes.size()) {
    sink->too_large = true;
    return 0;
  }
  if (sink->bytes.empty()) {
    curl_off_t expected = -1;
    curl_easy_getinfo(sink->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    if (expected > 0 && static_cast<std::size_t>(expected) <= sink->limit) {
      sink->bytes.reserve(static_cast<std::size_t>(expected));
    }
  }
  sink->bytes.append(data, length);
  return length;
}

int HttpStatusError(long status) {
  if (status == 401 || status == 403) return error::kFetchAccessDenied;
  if (status == 404 || status == 410) return error::kFetchPageNotFound;
  if (status >= 500 && status <= 599) return error::kFetchServerError;
  return error::kFetchHttpError;
}

int CurlError(CURLcode code) {
  switch (code) {
    case CURLE_URL_MALFORMAT:
      return error::kFetchBadAddress;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return error::kFetchUnsupportedScheme;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return error::kFetchHostNotFound;
    case CURLE_COULDNT_CONNECT:
    case CURLE_PROXY:
      return error::kFetchCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return error::kFetchTimeout;
    case CURLE_TOO_MANY_REDIRECTS:
      return error::kFetchTooManyRedirects;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return error::kFetchCertificateInvalid;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CLIENTCERT:
      return error::kFetchTlsFailed;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
      return error::kFetchConnectionBroken;
    case CURLE_BAD_CONTENT_ENCODING:
      return error::kFetchBadContent;
    case CURLE_FILESIZE_EXCEEDED:
      return error::kFetchTooLarge;
    case CURLE_OUT_OF_MEMORY:
      return error::kOutOfMemory;
    default:
      return error::kFetchFailed;
  }
}

// The outcome of a finished transfer.
Status TransferStatus(CURLcode code, const BodySink& sink) {
  long status = 0;
  curl_easy_getinfo(sink.easy, CURLINFO_RESPONSE_CODE, &status);
  if (sink.too_large) return Status(error::kFetchTooLarge);
  if (sink.error_status || (code == CURLE_OK && status >= 400)) {
    return Status(HttpStatusError(status));
  }
  return code == CURLE_OK ? Status::Ok() : Status(CurlError(code));
}

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// One transfer's own handles, so that a fetch started from a callback of another never shares
// anything with it.
class Transfer {
 public:
  Transfer() : multi_(curl_multi_init()), easy_(curl_easy_init()) {}
  ~Transfer() {
    if (added_) curl_multi_remove_handle(multi_.get(), easy_.get());
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  bool valid() const { return easy_ && multi_; }
  CURL* easy() const { return easy_.get(); }

  Status Start() {
    if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
      return Status(error::kFetchFailed);
    }
    added_ = true;
    return Status::Ok();
  }

  // Runs the transfer to its end, waiting on its sockets a slice at a time and calling
  // `between_waits` after each wait. `result` is libcurl's outcome of the finished transfer.
  Status Run(const FetchWaitCallback& between_waits, CURLcode& result) {
    const std::chrono::milliseconds slice = between_waits ? kFetchWaitSlice : kPlainWaitSlice;
    int running = 1;
    while (true) {
      if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
        return Status(error::kFetchFailed);
      }
      if (running == 0) break;
      if (curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(slice.count()), nullptr) !=
          CURLM_OK) {
        return Status(error::kFetchFailed);
      }
      if (between_waits && !between_waits()) return Status(error::kFetchCancelled);
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        return Status::Ok();
      }
    }
    return Status(error::kFetchFailed);
  }

 private:
  std::unique_ptr<CURLM, MultiCleanup> multi_;  // destroyed after the easy handle
  std::unique_ptr<CURL, EasyCleanup> easy_;
  bool added_ = false;
};

// Sets every option of the request; false when libcurl refuses one.
bool Configure(CURL* easy, const std::string& url, const FetchLimits& limits, BodySink& sink) {
  bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kWebProtocols) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_MAXREDIRS, limits.max_redirects) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // Debian's libcurl reads neither variable itself; a user who sets them expects them honoured.
  if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0') {
    ok = ok && curl_easy_setopt(easy, CURLOPT_CAINFO, file) == CURLE_OK;
  }
  if (const char* dir = std::getenv("SSL_CERT_DIR"); dir != nullptr && *dir != '\0') {
    ok = ok && curl_easy_setopt(easy, CURLOPT_CAPATH, dir) == CURLE_OK;
  }
  ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                              static_cast<long>(limits.connect_timeout.count())) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                              static_cast<long>(limits.total_timeout.count())) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK;
  ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  return ok;
}

}  // namespace

Result<Page> FetchPage(std::string_view url, const FetchWaitCallback& between_waits,
                       const FetchLimits& limits) {
  // libcurl would silently cut the address at a NUL.
  if (url.find('\0') != std::string_view::npos) return Status(error::kFetchBadAddress);
  if (Status init = InitCurlOnce(); !init.ok()) return init;
  Transfer transfer;
  if (!transfer.valid()) return Status(error::kFetchFailed);
  BodySink sink;
  sink.easy = transfer.easy();
  sink.limit = limits.max_body_bytes;
  const std::string address(url);
  if (!Configure(transfer.easy(), address, limits, sink)) return Status(error::kFetchFailed);
  if (Status started = transfer.Start(); !started.ok()) return started;
  CURLcode result = CURLE_OK;
  if (Status run = transfer.Run(between_waits, result); !run.ok()) return run;
  if (Status outcome = TransferStatus(result, sink); !outcome.ok()) return outcome;

  const char* content_type = nullptr;
  curl_easy_getinfo(transfer.easy(), CURLINFO_CONTENT_TYPE, &content_type);
  Page page;
  page.charset = DetectCharset(content_type != nullptr ? content_type : "", sink.bytes);
  page.bytes = std::move(sink.bytes);
  return page;
}

}  // namespace webletter
