// Fetches one web page over http or https. Both the batch job and the window use it: the job
// waits plainly, the window hands a callback that keeps its events running while the transfer
// waits on its sockets (no busy polling).
#ifndef WEBLETTER_SERVICES_FETCH_PAGE_FETCH_H_
#define WEBLETTER_SERVICES_FETCH_PAGE_FETCH_H_

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "services/curl_support.h"
#include "services/fetch/local_address.h"
#include "services/fetch/page.h"

namespace webletter {

struct FetchLimits {
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(30)};
  std::chrono::milliseconds total_timeout{std::chrono::minutes(5)};
  std::size_t max_body_bytes = 64u << 20;  // after decompression
  long max_redirects = 10;
  // Which addresses count as local for the redirect rule of FetchPage; tests replace it.
  std::function<bool(const sockaddr*)> is_local_address = IsLocalNetworkAddress;
};

// Called between waits while a transfer runs, about every `kFetchWaitSlice` (sooner when data
// arrives). Returning false abandons the transfer (the fetch then fails with
// error::kFetchCancelled). It must not throw.
using FetchWaitCallback = std::function<bool()>;
inline constexpr std::chrono::milliseconds kFetchWaitSlice{20};

// Downloads the document at `url` whole. Only http and https are fetched, redirects included
// (at most `limits.max_redirects`); compressed responses are accepted; certificates are
// verified against the system's trust store, or SSL_CERT_FILE / SSL_CERT_DIR where set.
// Only a final 200 or 203 is the page: any other status is a failure with its own number. An
// empty body is a success. A redirect from a public address never leads to a local one (see
// IsLocalNetworkAddress); the addresses actually connected to are checked, not the names. Every
// failure carries its own error number of the standard-message table; no text of libcurl or of the
// server is kept. Without `between_waits` the call simply blocks. Re-entrant: a callback may
// start another fetch.
Result<Page> FetchPage(std::string_view url, const FetchWaitCallback& between_waits = {},
                       const FetchLimits& limits = {});

// FetchPage on the caller's `driver`, whose other transfers go on while the page arrives.
Result<Page> FetchPageOn(CurlDriver& driver, std::string_view url,
                         const FetchWaitCallback& between_waits = {},
                         const FetchLimits& limits = {});

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_FETCH_PAGE_FETCH_H_
