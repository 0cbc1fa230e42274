#include "services/mail/smtp_endpoint.h"

#include <cstdlib>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "services/curl_support.h"

namespace webletter {
namespace {

constexpr int kSmtpPort = 25;
constexpr int kSmtpsPort = 465;

// One part of a parsed address; `present` is false when the address has none.
struct UrlPart {
  bool present = false;
  std::string text;
};

UrlPart GetPart(CURLU* url, CURLUPart which, unsigned flags = 0) {
  char* raw = nullptr;
  if (curl_url_get(url, which, &raw, flags) != CURLUE_OK || raw == nullptr) return {};
  const CurlText text(raw);
  return {true, text.get()};
}

bool HasControlOrSpace(std::string_view text) {
  return HasAsciiControl(text) || text.find(' ') != std::string_view::npos;
}

}  // namespace

Result<SmtpEndpoint> ParseSmtpServer(std::string_view server) {
  const Status invalid(error::kMailServerInvalid);
  if (server.empty() || HasControlOrSpace(server)) return invalid;
  std::string address(server);
  if (address.find("://") == std::string::npos) address.insert(0, "smtp://");

  const CurlUrl url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
    return invalid;
  }
  SmtpEndpoint endpoint;
  const UrlPart scheme = GetPart(url.get(), CURLUPART_SCHEME);
  if (scheme.text != "smtp" && scheme.text != "smtps") return invalid;
  endpoint.implicit_tls = scheme.text == "smtps";

  const UrlPart path = GetPart(url.get(), CURLUPART_PATH);
  if (GetPart(url.get(), CURLUPART_QUERY).present ||
      GetPart(url.get(), CURLUPART_FRAGMENT).present ||
      GetPart(url.get(), CURLUPART_OPTIONS).present || (path.present && path.text != "/")) {
    return invalid;
  }
  const std::optional<std::string> host = AsciiHostName(GetPart(url.get(), CURLUPART_HOST).text);
  if (!host) return Status(error::kMailServerNameInvalid);
  endpoint.host = *host;
  if (endpoint.host.empty()) return invalid;

  endpoint.port = endpoint.implicit_tls ? kSmtpsPort : kSmtpPort;
  if (const UrlPart port = GetPart(url.get(), CURLUPART_PORT); port.present) {
    endpoint.port = std::atoi(port.text.c_str());
    if (endpoint.port < 1 || endpoint.port > 65535) return invalid;
  }
  // libcurl refuses to decode a control character, which would leave the credentials out.
  const UrlPart user = GetPart(url.get(), CURLUPART_USER, CURLU_URLDECODE);
  const UrlPart password = GetPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE);
  if (user.present != GetPart(url.get(), CURLUPART_USER).present ||
      password.present != GetPart(url.get(), CURLUPART_PASSWORD).present) {
    return Status(error::kMailLoginUnusable);
  }
  endpoint.user = user.text;
  endpoint.password = password.text;
  return endpoint;
}

}  // namespace webletter
