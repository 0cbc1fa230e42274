#include "services/curl_support.h"

#include <fcntl.h>
#include <idn2.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "base/posix_file.h"
#include "base/shown_text.h"
#include "base/standard_messages.h"

namespace webletter {
namespace {

// The variable's value, or null when it is unset or empty.
const char* Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Why the trust store that `variable` names cannot be used: "" when it can. A file must be a
// regular file, a folder a folder, and either must open for reading.
std::string TrustStoreProblem(const char* path, bool folder) {
  struct stat info {};
  if (::stat(path, &info) != 0) return std::strerror(errno);
  if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
    return folder ? "not a folder" : "not a regular file";
  }
  const UniqueFd opened(
      ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (folder ? O_DIRECTORY : 0)));
  return opened.valid() ? "" : std::strerror(errno);
}

Status CheckTrustStore(const char* variable, const char* path, bool folder) {
  const std::string problem = TrustStoreProblem(path, folder);
  if (problem.empty()) return Status::Ok();
  return Status(error::kTrustStoreUnusable,
                std::string(variable) + "=" + ShownSafely(path) + ": " + problem);
}

}  // namespace

bool InitCurlOnce() {
  static std::once_flag once;
  static CURLcode init_result = CURLE_OK;
  std::call_once(once, [] {
    ::unsetenv("SSLKEYLOGFILE");  // read by libcurl's TLS start-up below
    init_result = curl_global_init(CURL_GLOBAL_DEFAULT);
  });
  return init_result == CURLE_OK;
}

CurlEasy NewCurlEasy() {
  if (!InitCurlOnce()) return nullptr;
  return CurlEasy(curl_easy_init());
}

Status SetSharedOptions(CurlOptions& options) {
  if (const char* file = Setting("SSL_CERT_FILE")) {
    if (Status usable = CheckTrustStore("SSL_CERT_FILE", file, false); !usable.ok()) return usable;
    options.Set(CURLOPT_CAINFO, file);
  }
  if (const char* folder = Setting("SSL_CERT_DIR")) {
    if (Status usable = CheckTrustStore("SSL_CERT_DIR", folder, true); !usable.ok()) return usable;
    options.Set(CURLOPT_CAPATH, folder);
  }
  options.Set(CURLOPT_SSL_VERIFYPEER, 1L).Set(CURLOPT_SSL_VERIFYHOST, 2L);
  // An empty proxy turns off every proxy that the environment names.
  options.Set(CURLOPT_PROXY, "").Set(CURLOPT_NOSIGNAL, 1L);
  return Status::Ok();
}

std::optional<std::string> AsciiHostName(std::string_view host) {
  const bool ascii = std::all_of(host.begin(), host.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return std::string(host);
  const std::string name(host);
  char* converted = nullptr;
  // As libcurl does it: IDNA 2008, then the transitional mapping for what that refuses.
  int result = idn2_to_ascii_8z(name.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (result != IDN2_OK) {
    result = idn2_to_ascii_8z(name.c_str(), &converted, IDN2_NFC_INPUT | IDN2_TRANSITIONAL);
  }
  if (result != IDN2_OK) return std::nullopt;
  std::string ascii_name(converted);
  idn2_free(converted);
  return ascii_name;
}

std::optional<std::string> WithAsciiHost(const std::string& url) {
  const CurlUrl parts(curl_url());
  char* host = nullptr;
  if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(parts.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
    return url;
  }
  const CurlText own_host(host);
  const std::optional<std::string> ascii = AsciiHostName(host);
  if (!ascii) return std::nullopt;
  if (*ascii == host) return url;
  char* whole = nullptr;
  if (curl_url_set(parts.get(), CURLUPART_HOST, ascii->c_str(), 0) != CURLUE_OK ||
      curl_url_get(parts.get(), CURLUPART_URL, &whole, 0) != CURLUE_OK) {
    return std::nullopt;
  }
  const CurlText own_whole(whole);
  return std::string(whole);
}

CurlDriver::CurlDriver() : multi_(InitCurlOnce() ? curl_multi_init() : nullptr) {}

bool CurlDriver::Add(CURL* easy) {
  return multi_ && curl_multi_add_handle(multi_.get(), easy) == CURLM_OK;
}

void CurlDriver::Remove(CURL* easy) {
  if (multi_) curl_multi_remove_handle(multi_.get(), easy);
  std::erase_if(ended_, [easy](const auto& ended) { return ended.first == easy; });
}

std::optional<CURLcode> CurlDriver::Ended(CURL* easy) const {
  for (const auto& [handle, result] : ended_) {
    if (handle == easy) return result;
  }
  return std::nullopt;
}

bool CurlDriver::Perform() {
  int running = 0;
  if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) return false;
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
    if (message->msg == CURLMSG_DONE) {
      ended_.emplace_back(message->easy_handle, message->data.result);
    }
  }
  return true;
}

TransferEnd CurlDriver::Run(CURL* easy, std::chrono::milliseconds slice,
                            const std::function<bool()>& between_waits) {
  if (!multi_) return {.result = CURLE_OUT_OF_MEMORY};
  TransferEnd end{.result = CURLE_FAILED_INIT};
  while (Perform()) {
    if (const std::optional<CURLcode> result = Ended(easy)) {
      end.result = *result;
      break;
    }
    if (curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(slice.count()), nullptr) !=
        CURLM_OK) {
      break;
    }
    if (housekeeping_) housekeeping_();
    if (between_waits && !between_waits()) {
      end.stopped = true;
      break;
    }
  }
  Remove(easy);
  return end;
}

TransferEnd RunTransfer(CURL* easy, std::chrono::milliseconds slice,
                        const std::function<bool()>& between_waits) {
  CurlDriver driver;
  if (!driver.Add(easy)) return {.result = CURLE_FAILED_INIT};
  return driver.Run(easy, slice, between_waits);
}

}  // namespace webletter
