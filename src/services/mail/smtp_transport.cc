#include "services/mail/smtp_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "base/ascii.h"
#include "base/posix_file.h"
#include "base/shown_text.h"
#include "base/standard_messages.h"
#include "services/curl_support.h"
#include "services/mail/netrc.h"

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

constexpr size_t kReplyDetailLength = 200;

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

// A name of letters, digits and "-" in two or more labels.
bool IsQualified(std::string_view name) {
  return name.find('.') != std::string_view::npos && !name.starts_with('.') &&
         !name.ends_with('.') && name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), IsNameCharacter);
}

// This machine's host name; empty when it has none.
std::string HostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

// The resolver's canonical name of `host`; empty when it has none.
std::string CanonicalName(const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return {};
  std::string name = found->ai_canonname != nullptr ? found->ai_canonname : "";
  ::freeaddrinfo(found);
  return name;
}

// The local address that a connection to the server would leave from: a datagram socket
// "connected" to it learns the route without sending anything.
std::string LocalAddressTowards(const SmtpEndpoint& endpoint) {
  std::string host = endpoint.host;
  if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(endpoint.port);
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return {};
  std::string address;
  const UniqueFd socket(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
  const int fd = socket.get();
  sockaddr_storage local{};
  socklen_t length = sizeof(local);
  std::array<char, INET6_ADDRSTRLEN> text{};
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    const void* bytes =
        local.ss_family == AF_INET6
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr)
            : &reinterpret_cast<sockaddr_in*>(&local)->sin_addr;
    if (::inet_ntop(local.ss_family, bytes, text.data(), text.size()) != nullptr) {
      address = text.data();
    }
  }
  ::freeaddrinfo(found);
  return address;
}

// "[127.0.0.1]" for an IPv4 address, "[IPv6:::1]" for an IPv6 one.
std::string AddressLiteral(std::string_view address) {
  if (address.empty()) return "[127.0.0.1]";
  if (address.find(':') != std::string_view::npos) return "[IPv6:" + std::string(address) + "]";
  return "[" + std::string(address) + "]";
}

// The address for libcurl; its path is the EHLO name, percent-encoded (an address literal holds
// "[", "]" and ":").
std::string CurlAddress(const SmtpEndpoint& endpoint, const std::string& sender) {
  const std::string ehlo =
      ChooseEhloName({.host_name = HostName(),
                      .canonical_name = [] { return CanonicalName(HostName()); },
                      .sender = sender,
                      .local_address = [&] { return LocalAddressTowards(endpoint); }});
  char* escaped = curl_easy_escape(nullptr, ehlo.c_str(), static_cast<int>(ehlo.size()));
  if (escaped == nullptr) return {};
  const CurlText path(escaped);
  return std::string(endpoint.implicit_tls ? "smtps://" : "smtp://") + endpoint.host + ":" +
         std::to_string(endpoint.port) + "/" + path.get();
}

// The server's reply lines as libcurl's debug callback shows them, one line a call: the last one
// that is not the answer to QUIT, with its line end.
struct ServerReply {
  std::string last_line;
  bool quitting = false;
};

int WatchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* reply = static_cast<ServerReply*>(user);
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT && text.starts_with("QUIT")) reply->quitting = true;
  if (type == CURLINFO_HEADER_IN && !reply->quitting) reply->last_line = text;
  return 0;
}

// The failures that are a server's answer to a step, whose reply the user gets to see.
bool IsRefusal(int error_number) {
  switch (error_number) {
    case error::kMailServerRefused:
    case error::kMailLoginDenied:
    case error::kMailSenderRefused:
    case error::kMailRecipientRefused:
    case error::kMailMessageRefused:
      return true;
    default:
      return false;
  }
}

// The overall limit, also where libcurl does not look at its own (while it waits for the answer
// to the end of the data, and for the answer to QUIT): the progress callback runs about once a
// second throughout.
int StopAtDeadline(void* deadline, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return std::chrono::steady_clock::now() >
                 *static_cast<std::chrono::steady_clock::time_point*>(deadline)
             ? 1
             : 0;
}

// The message, handed to libcurl piece by piece as it is read.
struct Upload {
  const MessageReader* read = nullptr;
  long long size = -1;  // -1: not known, libcurl reads until the reader gives 0
  long long read_so_far = 0;
  bool handed_over = false;  // libcurl has taken the last byte; only the server's answer is left
  bool failed = false;       // the message could not be read
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const Result<std::size_t> n = (*upload->read)(buffer, size * count);
  if (!n.ok()) {
    upload->failed = true;
    return CURL_READFUNC_ABORT;
  }
  upload->read_so_far += static_cast<long long>(*n);
  if (*n == 0 || upload->read_so_far == upload->size) upload->handed_over = true;
  return *n;
}

// libcurl's upload buffer. Kept small: SMTP keeps a second one, twice its size, for the dot
// escaping, and fresh memory costs more to fault in than turns through the callback cost.
constexpr long kUploadBuffer = 64L << 10;

// The dialogue step that libcurl's own error text names, for a refusal it reports alike.
bool RefusedAt(const char* error_text, std::string_view command) {
  return std::string_view(error_text).starts_with(command);
}

Status MailStatusOf(CURLcode code, const char* error_text, long reply_code, const Upload& upload) {
  switch (code) {
    case CURLE_OK:
      return Status::Ok();
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return Status(error::kMailServerInvalid);
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return Status(error::kMailServerNotFound);
    case CURLE_COULDNT_CONNECT:
      return Status(error::kMailCannotConnect);
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:  // only the overall limit stops a transfer early
      return Status(error::kMailTimeout);
    case CURLE_WEIRD_SERVER_REPLY:
      // The greeting, or the answer to the end of the data.
      return Status(upload.handed_over ? error::kMailMessageRefused : error::kMailServerRefused);
    case CURLE_REMOTE_ACCESS_DENIED:
      return Status(error::kMailServerRefused);
    case CURLE_SEND_ERROR:
      if (RefusedAt(error_text, "MAIL")) {
        // 552: the message is larger than the server takes.
        return Status(reply_code == 552 ? error::kMailMessageRefused : error::kMailSenderRefused);
      }
      if (RefusedAt(error_text, "RCPT")) return Status(error::kMailRecipientRefused);
      if (RefusedAt(error_text, "DATA")) return Status(error::kMailMessageRefused);
      return Status(error::kMailConnectionClosed);
    case CURLE_RECV_ERROR:
      // libcurl adds up every line of a long multi-line answer (EHLO's) against its limit.
      if (std::string_view(error_text).starts_with("Too large response")) {
        return Status(error::kMailAnswerTooLarge);
      }
      return Status(error::kMailConnectionClosed);
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return Status(error::kMailConnectionClosed);
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
      return Status(error::kMailLoginDenied);
    case CURLE_USE_SSL_FAILED:
      return Status(error::kMailNoEncryption);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return Status(error::kMailCertificateInvalid);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CLIENTCERT:
      return Status(error::kMailTlsFailed);
    case CURLE_OUT_OF_MEMORY:
      return Status(error::kOutOfMemory);
    default:
      return Status(error::kMailFailed);
  }
}

// The sign-in: the address's own credentials, else the user's ~/.netrc entry for the host (for
// the address's user name when it gives one without a password). libcurl never reads the file
// itself, so that every password it holds went through SetSecurity's rule.
SmtpEndpoint WithNetrcLogin(SmtpEndpoint endpoint, const MailLimits& limits) {
  if (!endpoint.user.empty() && !endpoint.password.empty()) return endpoint;
  std::string_view host = endpoint.host;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const UserNetrc netrc = FindUserNetrcLogin(host, endpoint.user);
  if (!netrc.warning.empty() && limits.warn) limits.warn(netrc.warning);
  if (netrc.login) {
    endpoint.user = netrc.login->login;
    endpoint.password = netrc.login->password;
  }
  return endpoint;
}

// Encryption whenever the server offers STARTTLS; with credentials, encryption or nothing: a
// password is never sent in clear.
void SetSecurity(CurlOptions& options, const SmtpEndpoint& endpoint) {
  const bool signs_in = !endpoint.user.empty();
  options.Set(CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED))
      .Set(CURLOPT_USE_SSL, static_cast<long>(signs_in ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  if (signs_in) {
    options.Set(CURLOPT_USERNAME, endpoint.user.c_str())
        .Set(CURLOPT_PASSWORD, endpoint.password.c_str());
  }
}

// Without a keep-alive nothing needs to run between waits.
constexpr std::chrono::milliseconds kPlainWaitSlice{1000};

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
  endpoint.host = GetPart(url.get(), CURLUPART_HOST).text;
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

std::string ChooseEhloName(const EhloSources& sources) {
  if (IsQualified(sources.host_name)) return sources.host_name;
  if (sources.canonical_name) {
    if (std::string canonical = sources.canonical_name(); IsQualified(canonical)) return canonical;
  }
  if (const size_t at = sources.sender.rfind('@'); at != std::string::npos) {
    if (std::string domain = sources.sender.substr(at + 1); IsQualified(domain)) return domain;
  }
  return AddressLiteral(sources.local_address ? sources.local_address() : "");
}

std::string ServerReplyDetail(long code, std::string_view line, std::string_view password) {
  const std::string number = std::to_string(code);
  // The line's own code, with "-" or " " after it, gives way to the one libcurl reports.
  if (line.size() > number.size() && line.starts_with(number) &&
      (line[number.size()] == ' ' || line[number.size()] == '-')) {
    line.remove_prefix(number.size() + 1);
  }
  std::string detail = number + " " + std::string(line);
  if (!password.empty()) {
    for (size_t at = detail.find(password); at != std::string::npos;
         at = detail.find(password, at + kMask.size())) {
      detail.replace(at, password.size(), kMask);
    }
  }
  if (detail.size() > kReplyDetailLength) detail.resize(kReplyDetailLength);
  for (char& c : detail) {
    if (IsAsciiControl(c)) c = ' ';
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  while (!detail.empty() && detail.back() == ' ') detail.pop_back();
  return detail;
}

Status SendSmtp(const SmtpEndpoint& endpoint, const SmtpEnvelope& envelope,
                const MessageReader& message, long long size, const MailLimits& limits) {
  const CurlEasy handle = NewCurlEasy();
  if (!handle) return Status(error::kMailFailed);
  CURL* curl = handle.get();

  CurlSlist recipients;
  for (const std::string& to : envelope.to) {
    curl_slist* longer = curl_slist_append(recipients.get(), ("<" + to + ">").c_str());
    if (longer == nullptr) return Status(error::kOutOfMemory);
    recipients.release();
    recipients.reset(longer);
  }
  const std::string from = "<" + envelope.from + ">";
  const std::string address = CurlAddress(endpoint, envelope.from);
  if (address.empty()) return Status(error::kOutOfMemory);
  Upload upload{&message, size};
  ServerReply reply;
  char error_text[CURL_ERROR_SIZE] = {};

  auto deadline = std::chrono::steady_clock::now() + limits.total_timeout;
  CurlOptions options(curl);
  SetSharedOptions(options);
  options.Set(CURLOPT_URL, address.c_str())
      .Set(CURLOPT_PROTOCOLS_STR, "smtp,smtps")
      // One message per connection: it ends within this call, never later in a wait for QUIT.
      .Set(CURLOPT_FORBID_REUSE, 1L)
      .Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_timeout.count()))
      .Set(CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total_timeout.count()))
      .Set(CURLOPT_NOPROGRESS, 0L)
      .Set(CURLOPT_XFERINFOFUNCTION, &StopAtDeadline)
      .Set(CURLOPT_XFERINFODATA, &deadline);
  const SmtpEndpoint signing_in = WithNetrcLogin(endpoint, limits);
  // libcurl would cut a name at a NUL, or fail to sign in and send anyway.
  if (HasAsciiControl(signing_in.user) || HasAsciiControl(signing_in.password)) {
    return Status(error::kMailLoginUnusable);
  }
  SetSecurity(options, signing_in);
  options.Set(CURLOPT_MAIL_FROM, from.c_str())
      .Set(CURLOPT_MAIL_RCPT, recipients.get())
      .Set(CURLOPT_UPLOAD, 1L)
      .Set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size))
      .Set(CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer)
      .Set(CURLOPT_READFUNCTION, &ReadMessage)
      .Set(CURLOPT_READDATA, &upload)
      .Set(CURLOPT_ERRORBUFFER, error_text)
      .Set(CURLOPT_DEBUGFUNCTION, &WatchDialogue)
      .Set(CURLOPT_DEBUGDATA, &reply)
      .Set(CURLOPT_VERBOSE, 1L);
  if (!options.ok()) return Status(error::kMailFailed);

  const std::function<bool()> keep_alive = [&] {
    limits.keep_alive();
    return true;
  };
  const CURLcode code = RunTransfer(curl, limits.keep_alive ? kMailWaitSlice : kPlainWaitSlice,
                                    limits.keep_alive ? keep_alive : std::function<bool()>())
                            .result;
  long reply_code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply_code);
  if (upload.failed) return Status(error::kMailComposeFailed);
  Status status = MailStatusOf(code, error_text, reply_code, upload);
  if (!IsRefusal(status.number()) || reply_code < 400 || reply.last_line.empty()) return status;
  return Status(status.number(),
                ServerReplyDetail(reply_code, reply.last_line, signing_in.password));
}

}  // namespace webletter
