// The one place libcurl is set up, for the page fetch and the mail alike: the handles' owners,
// the library's one global start, the options every transfer shares (the trust store, no proxy,
// no signals), a checked way to set options, and the loop that waits on a transfer's sockets.
// Every curl_easy_setopt of the program goes through CurlOptions, so that no refused option (a
// TLS setting among them) passes unnoticed.
#ifndef WEBLETTER_SERVICES_CURL_SUPPORT_H_
#define WEBLETTER_SERVICES_CURL_SUPPORT_H_

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"

namespace webletter {

struct CurlEasyFree {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiFree {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlUrlFree {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextFree {
  void operator()(char* text) const { curl_free(text); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiFree>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistFree>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;
using CurlText = std::unique_ptr<char, CurlTextFree>;

// Starts libcurl once per process, before its first handle; false when it cannot start. The
// environment's SSLKEYLOGFILE is removed first: the keys of the program's TLS sessions are never
// written to a file.
bool InitCurlOnce();

// A new easy handle (libcurl started first); null when there is none.
CurlEasy NewCurlEasy();

// Sets the options of one easy handle and remembers whether libcurl refused any: the caller asks
// once, at the end, and gives up the transfer then.
class CurlOptions {
 public:
  explicit CurlOptions(CURL* easy) : easy_(easy) {}

  // `value` goes to libcurl as it is: a long, a curl_off_t, a pointer or a function pointer,
  // as the option wants it.
  template <typename Value>
  CurlOptions& Set(CURLoption option, Value value) {
    if (ok_ && curl_easy_setopt(easy_, option, value) != CURLE_OK) ok_ = false;
    return *this;
  }
  bool ok() const { return ok_; }

 private:
  CURL* easy_;
  bool ok_ = true;
};

// What every transfer of the program has: certificates always verified, against the system's
// trust store or the file and folder that SSL_CERT_FILE and SSL_CERT_DIR name (Debian's libcurl
// reads neither by itself); no proxy, whatever the environment says; no signals. A variable
// that names something missing, unreadable or of the wrong kind (a FIFO, say) fails at once
// with error::kTrustStoreUnusable, the variable and the path as its detail: the transfer would
// otherwise hang on a FIFO or blame the server's certificate.
Status SetSharedOptions(CurlOptions& options);

// The ASCII form (IDNA 2008, as libidn2 gives it) of a host name written in UTF-8, whatever the
// locale: libcurl converts names by the locale's charset, and under LANG=C, as cron often runs,
// not at all. An ASCII name comes back as it is; nothing when the name cannot be converted.
std::optional<std::string> AsciiHostName(std::string_view host);

// `url` with its host name in ASCII form (see AsciiHostName); `url` as it is when libcurl cannot
// take it apart (the transfer then says why); nothing when its host name cannot be converted.
std::optional<std::string> WithAsciiHost(const std::string& url);

// How a transfer driven by RunTransfer ended.
struct TransferEnd {
  bool stopped = false;        // `between_waits` asked to stop
  CURLcode result = CURLE_OK;  // libcurl's outcome when it ran to its end
};

// Drives easy handles together through one multi handle, on the calling thread: while one
// transfer is waited for, the others make progress too. Handles added stay the caller's; each
// must be removed (Remove, or the end of Run) before it is cleaned up, and the driver must
// outlive its handles' time in it. Not copyable.
class CurlDriver {
 public:
  CurlDriver();
  CurlDriver(const CurlDriver&) = delete;
  CurlDriver& operator=(const CurlDriver&) = delete;

  // Starts `easy` beside the others; false when the multi handle refuses it.
  bool Add(CURL* easy);
  // Takes `easy` out, where it is: a transfer that has not ended is cut off, its connection
  // closed without a word more to the server.
  void Remove(CURL* easy);
  // Called after each wait, whatever transfer is waited for; replaces the last one (empty: none).
  void SetHousekeeping(std::function<void()> housekeeping) {
    housekeeping_ = std::move(housekeeping);
  }
  // The outcome of `easy` once its transfer ended; nothing while it runs.
  std::optional<CURLcode> Ended(CURL* easy) const;

  // Drives every handle until `easy` ends, waiting on their sockets at most `slice` at a time
  // and calling `between_waits` (when it is not empty) after each wait: false stops `easy`'s
  // transfer. Removes `easy` at its end. A multi handle that fails ends the transfer with
  // CURLE_FAILED_INIT (or CURLE_OUT_OF_MEMORY when there is none).
  TransferEnd Run(CURL* easy, std::chrono::milliseconds slice,
                  const std::function<bool()>& between_waits);

 private:
  // Lets libcurl work on every handle and notes those that ended; false when the multi fails.
  bool Perform();

  CurlMulti multi_;
  std::vector<std::pair<CURL*, CURLcode>> ended_;
  std::function<void()> housekeeping_;
};

// Runs `easy` alone to its end on a driver of its own (see CurlDriver::Run).
TransferEnd RunTransfer(CURL* easy, std::chrono::milliseconds slice,
                        const std::function<bool()>& between_waits);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_CURL_SUPPORT_H_
