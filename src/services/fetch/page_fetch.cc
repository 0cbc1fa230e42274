#include "services/fetch/page_fetch.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "base/standard_messages.h"
#include "base/version.h"
#include "services/curl_support.h"
#include "services/fetch/charset.h"

namespace webletter {
namespace {

constexpr char kWebProtocols[] = "http,https";
// Without a callback nothing needs to run between waits; curl still wakes up for its own timers.
constexpr std::chrono::milliseconds kPlainWaitSlice{1000};

// All the headers of every response of one fetch together, below libcurl's own limit of 300 KiB
// so that the failure is told as what it is; a single line is limited by libcurl (100 KiB).
constexpr std::size_t kMaxHeaderBytes = 256u << 10;

// libcurl's receive buffer: larger than its default, fewer turns through OnBody for a large page,
// yet small next to the page itself.
constexpr long kReceiveBuffer = 64L << 10;

// Where the body goes while it arrives, and why the transfer was stopped early if it was.
struct BodySink {
  CURL* easy = nullptr;
  std::size_t limit = 0;
  std::string bytes;
  std::size_t header_bytes = 0;
  bool too_large = false;
  bool header_too_large = false;
  bool not_a_page = false;
};

// Backs a body's buffer at once: huge pages where whole ones fit and the system gives them on
// request (a 20 MiB page then costs ten page faults instead of five thousand), and the rest faulted
// in by one call instead of one fault per page. Either is advice, and a kernel without it ignores
// it.
void PrefaultBuffer(std::string& bytes) {
  constexpr std::uintptr_t kHugePage = 2u << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
  const std::uintptr_t end = start + bytes.capacity();
  const std::uintptr_t first_huge = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end_huge = end & ~(kHugePage - 1);
  if (end_huge > first_huge) {
    ::madvise(reinterpret_cast<void*>(first_huge), end_huge - first_huge, MADV_HUGEPAGE);
  }
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t first_page = (start + page - 1) & ~(page - 1);
  const std::uintptr_t end_page = end & ~(page - 1);
  if (end_page > first_page) {
    ::madvise(reinterpret_cast<void*>(first_page), end_page - first_page, MADV_POPULATE_WRITE);
  }
}

// The length of the body as it will be kept, where the response says it: its Content-Length,
// unless the body comes compressed (libcurl decodes it; the length is the compressed one).
std::optional<std::size_t> KnownLength(CURL* easy) {
  curl_off_t expected = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
  curl_header* encoding = nullptr;
  if (expected <= 0 ||
      curl_easy_header(easy, "Content-Encoding", 0, CURLH_HEADER, -1, &encoding) == CURLHE_OK) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(expected);
}

// A body of unknown length past this size gets the whole limit reserved at once.
constexpr std::size_t kGrowInPlaceFrom = 1u << 20;

// Makes room for `length` more bytes of the body. A body of known length is reserved and backed
// at once. One of unknown length grows as usual up to kGrowInPlaceFrom, then has the whole limit
// reserved: address space that costs no memory until the bytes arrive, so that the body is
// never copied again. Growing by doubling would hold both copies at the moment it grows (a
// 20 MiB page: 16 MiB and its 32 MiB copy).
void MakeRoom(BodySink& sink, std::size_t length) {
  std::string& bytes = sink.bytes;
  if (bytes.empty()) {
    const std::optional<std::size_t> expected = KnownLength(sink.easy);
    if (expected && *expected <= sink.limit) {
      bytes.reserve(*expected);
      PrefaultBuffer(bytes);
    }
  }
  const std::size_t needed = bytes.size() + length;
  if (needed <= bytes.capacity() || needed <= kGrowInPlaceFrom) return;
  try {
    bytes.reserve(std::min(sink.limit, bytes.max_size()));
  } catch (const std::bad_alloc&) {
    // Without that much address space the body grows as usual.
  }
}

// Only these final statuses carry the page itself.
bool IsPageStatus(long status) { return status == 200 || status == 203; }

// Decides, connection by connection, whether libcurl may connect to an address. The first
// connection, to the configured address, sets the rule: where it is local, everything is
// allowed; where it is public, nothing that follows (a redirect) may lead to a local address.
struct AddressGuard {
  const std::function<bool(const sockaddr*)>* is_local = nullptr;
  enum class Origin { kNone, kLocal, kPublic } origin = Origin::kNone;
  bool refused = false;
};

curl_socket_t OnOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  auto* guard = static_cast<AddressGuard*>(user);
  const bool local = (*guard->is_local)(&address->addr);
  if (guard->origin == AddressGuard::Origin::kNone) {
    guard->origin = local ? AddressGuard::Origin::kLocal : AddressGuard::Origin::kPublic;
  } else if (local && guard->origin == AddressGuard::Origin::kPublic) {
    guard->refused = true;
    return CURL_SOCKET_BAD;
  }
  return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  sink->header_bytes += size * count;
  if (sink->header_bytes <= kMaxHeaderBytes) return size * count;
  sink->header_too_large = true;
  return 0;
}

// Keeps the body (libcurl passes on only the last response of a redirect chain). Stops the
// transfer, by returning a short count, when the body passes the limit or when the response is
// not the page, so that its body is of no use.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const std::size_t length = size * count;
  long status = 0;
  curl_easy_getinfo(sink->easy, CURLINFO_RESPONSE_CODE, &status);
  if (!IsPageStatus(status)) {
    sink->not_a_page = true;
    return 0;
  }
  if (length > sink->limit - sink->bytes.size()) {
    sink->too_large = true;
    return 0;
  }
  MakeRoom(*sink, length);
  sink->bytes.append(data, length);
  return length;
}

int HttpStatusError(long status) {
  if (status == 206) return error::kFetchPartialContent;
  if (status == 304) return error::kFetchNotModified;
  if (status >= 300 && status <= 399) return error::kFetchRedirectNowhere;
  if (status < 300) return error::kFetchNoPage;
  if (status == 401 || status == 403) return error::kFetchAccessDenied;
  if (status == 404 || status == 410) return error::kFetchPageNotFound;
  if (status == 429) return error::kFetchTooManyRequests;
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

// What a failure of libcurl means once the request went out: libcurl names an answer without a
// status line an unsupported protocol, and a header line that is too long a lack of memory.
int AnswerError(CURLcode code, long status) {
  if (status == 0 && (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_WEIRD_SERVER_REPLY)) {
    return error::kFetchNotHttp;
  }
  if (code == CURLE_OUT_OF_MEMORY) return error::kFetchHeaderTooLarge;
  return CurlError(code);
}

// The outcome of a finished transfer.
Status TransferStatus(CURLcode code, const BodySink& sink, const AddressGuard& guard) {
  long status = 0;
  curl_easy_getinfo(sink.easy, CURLINFO_RESPONSE_CODE, &status);
  long request_size = 0;
  curl_easy_getinfo(sink.easy, CURLINFO_REQUEST_SIZE, &request_size);
  if (sink.too_large) return Status(error::kFetchTooLarge);
  if (sink.header_too_large) return Status(error::kFetchHeaderTooLarge);
  if (guard.refused) return Status(error::kFetchRedirectToLocal);
  // libcurl looks at the length of any answer, also one that is not the page.
  if (code == CURLE_FILESIZE_EXCEEDED && status != 0 && !IsPageStatus(status)) {
    return Status(HttpStatusError(status));
  }
  if (sink.not_a_page || (code == CURLE_OK && !IsPageStatus(status))) {
    return Status(HttpStatusError(status));
  }
  if (code == CURLE_OK) return Status::Ok();
  return Status(request_size > 0 ? AnswerError(code, status) : CurlError(code));
}

// Sets every option of the request: error::kFetchFailed when libcurl refuses one.
Status Configure(CURL* easy, const std::string& url, const FetchLimits& limits, BodySink& sink,
                 AddressGuard& guard) {
  CurlOptions options(easy);
  if (Status shared = SetSharedOptions(options); !shared.ok()) return shared;
  options.Set(CURLOPT_URL, url.c_str())
      .Set(CURLOPT_PROTOCOLS_STR, kWebProtocols)
      .Set(CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols)
      .Set(CURLOPT_FOLLOWLOCATION, 1L)
      .Set(CURLOPT_MAXREDIRS, limits.max_redirects)
      // A page whose Content-Length is over the limit is refused before its body comes; one
      // without a length is stopped as it passes the limit (OnBody).
      .Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_body_bytes))
      .Set(CURLOPT_ACCEPT_ENCODING, "")
      .Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_timeout.count()))
      .Set(CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total_timeout.count()))
      .Set(CURLOPT_USERAGENT, kUserAgent)
      .Set(CURLOPT_BUFFERSIZE, kReceiveBuffer)
      .Set(CURLOPT_WRITEFUNCTION, OnBody)
      .Set(CURLOPT_WRITEDATA, &sink)
      .Set(CURLOPT_HEADERFUNCTION, OnHeader)
      .Set(CURLOPT_HEADERDATA, &sink)
      .Set(CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket)
      .Set(CURLOPT_OPENSOCKETDATA, &guard);
  return options.ok() ? Status::Ok() : Status(error::kFetchFailed);
}

}  // namespace

Result<Page> FetchPage(std::string_view url, const FetchWaitCallback& between_waits,
                       const FetchLimits& limits) {
  CurlDriver driver;
  return FetchPageOn(driver, url, between_waits, limits);
}

Result<Page> FetchPageOn(CurlDriver& driver, std::string_view url,
                         const FetchWaitCallback& between_waits, const FetchLimits& limits) {
  // libcurl would silently cut the address at a NUL.
  if (url.find('\0') != std::string_view::npos) return Status(error::kFetchBadAddress);
  const std::optional<std::string> address = WithAsciiHost(std::string(url));
  if (!address) return Status(error::kFetchHostNameInvalid);
  const CurlEasy easy = NewCurlEasy();
  if (!easy) return Status(error::kFetchFailed);
  BodySink sink;
  sink.easy = easy.get();
  sink.limit = limits.max_body_bytes;
  AddressGuard guard;
  guard.is_local = &limits.is_local_address;
  if (Status set = Configure(easy.get(), *address, limits, sink, guard); !set.ok()) return set;
  if (!driver.Add(easy.get())) return Status(error::kFetchFailed);
  const TransferEnd end =
      driver.Run(easy.get(), between_waits ? kFetchWaitSlice : kPlainWaitSlice, between_waits);
  if (end.stopped) return Status(error::kFetchCancelled);
  if (Status outcome = TransferStatus(end.result, sink, guard); !outcome.ok()) return outcome;

  const char* content_type = nullptr;
  curl_easy_getinfo(easy.get(), CURLINFO_CONTENT_TYPE, &content_type);
  Page page;
  page.charset = DetectCharset(content_type != nullptr ? content_type : "", sink.bytes);
  const char* final_url = nullptr;
  curl_easy_getinfo(easy.get(), CURLINFO_EFFECTIVE_URL, &final_url);
  page.url = final_url != nullptr ? final_url : *address;
  page.bytes = std::move(sink.bytes);
  return page;
}

}  // namespace webletter
