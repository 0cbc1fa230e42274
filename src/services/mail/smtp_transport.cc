#include "services/mail/smtp_transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "services/curl_support.h"
#include "services/mail/ehlo_name.h"
#include "services/mail/netrc.h"
#include "services/mail/server_reply.h"

namespace webletter {
namespace {

// The address for libcurl; its path is the EHLO name, percent-encoded (an address literal holds
// "[", "]" and ":").
std::string CurlAddress(const SmtpEndpoint& endpoint, const MailAddress& sender) {
  const std::string ehlo = EhloNameTowards(endpoint, sender.host_name());
  char* escaped = curl_easy_escape(nullptr, ehlo.c_str(), static_cast<int>(ehlo.size()));
  if (escaped == nullptr) return {};
  const CurlText path(escaped);
  return std::string(endpoint.implicit_tls ? "smtps://" : "smtp://") + endpoint.host + ":" +
         std::to_string(endpoint.port) + "/" + path.get();
}

// The dialogue as libcurl's debug callback shows it, a line a call, up to QUIT: the last command
// sent (the message's bytes count as one), whether the server has answered it yet, and the
// server's last reply line with its line end. With credentials, whether the server offered the
// sign-in and libcurl signed in: libcurl skips the sign-in without a word where the answer to
// EHLO lists no AUTH, and goes on to send the message.
struct Dialogue {
  SmtpCommand command = SmtpCommand::kGreeting;
  bool answered = false;
  std::string last_line;
  bool quitting = false;
  bool signs_in = false;
  bool signed_in = false;        // AUTH went out
  std::string hello_line;        // the last line of the last answer to EHLO or HELO
  bool sign_in_skipped = false;  // MAIL FROM went out with credentials but without AUTH
  long long size_limit = 0;      // the SIZE the last answer to EHLO gave; 0: none
};

// The limit of a line "250-SIZE 10240000" (or "250 SIZE ..."), else 0 (also for a SIZE
// without a number: no limit).
long long SizeLimitOf(std::string_view line) {
  if (line.size() < 9 || !StartsWithIgnoringAsciiCase(line.substr(4), "SIZE ")) return 0;
  return std::atoll(std::string(line.substr(9)).c_str());
}

// Notes what the command just sent means for the sign-in.
void NoteSent(Dialogue& dialogue) {
  if (dialogue.command == SmtpCommand::kAuth) dialogue.signed_in = true;
  if (dialogue.command == SmtpCommand::kMailFrom && dialogue.signs_in && !dialogue.signed_in) {
    dialogue.sign_in_skipped = true;
  }
}

int WatchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* dialogue = static_cast<Dialogue*>(user);
  const std::string_view text(data, size);
  if (dialogue->quitting) return 0;
  if (type == CURLINFO_HEADER_OUT && text.starts_with("QUIT")) {
    dialogue->quitting = true;
  } else if (type == CURLINFO_HEADER_OUT || type == CURLINFO_DATA_OUT) {
    dialogue->command =
        type == CURLINFO_DATA_OUT ? SmtpCommand::kMessage : CommandOf(text, dialogue->command);
    dialogue->answered = false;
    if (dialogue->command == SmtpCommand::kHello) dialogue->size_limit = 0;
    NoteSent(*dialogue);
  } else if (type == CURLINFO_HEADER_IN) {
    dialogue->last_line = text;
    dialogue->answered = true;
    if (dialogue->command == SmtpCommand::kHello) {
      dialogue->hello_line = text;
      if (const long long limit = SizeLimitOf(text); limit > 0) dialogue->size_limit = limit;
    }
  }
  return 0;
}

// What stops a transfer early: the overall limit, also where libcurl does not look at its own
// (while it waits for the answer to the end of the data, and for the answer to QUIT), and a
// sign-in that was skipped. The progress callback runs about once a second throughout.
struct Brake {
  std::chrono::steady_clock::time_point deadline{};
  const Dialogue* dialogue = nullptr;
};

int StopEarly(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* brake = static_cast<const Brake*>(user);
  return brake->dialogue->sign_in_skipped || std::chrono::steady_clock::now() > brake->deadline ? 1
                                                                                                : 0;
}

// The message, handed to libcurl piece by piece as it is composed; never a byte of it when the
// sign-in was skipped (the server, cut off inside DATA, keeps nothing). A session opened before
// its message exists pauses at the message until it comes, and gives it up, before its first
// byte, when it is larger than the SIZE the server announced: its MAIL FROM could not say the
// size, a fresh session does.
struct Upload {
  MailStream* message = nullptr;  // null: not composed yet
  const Dialogue* dialogue = nullptr;
  bool failed = false;     // the message could not be composed
  bool handed = false;     // libcurl has had bytes of it
  bool paused = false;     // waiting for the message
  bool waited = false;     // the dialogue reached the message before it existed
  bool too_large = false;  // larger than the server takes
  std::chrono::steady_clock::time_point waiting_since{};
};

// Whether the whole message, where its size is known, exceeds what the server said it takes.
bool ExceedsServerSize(const Upload& upload) {
  const long long limit = upload.dialogue->size_limit;
  return limit > 0 && upload.message->ExpectedSize() > limit;
}

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  if (upload->dialogue->sign_in_skipped) return CURL_READFUNC_ABORT;
  if (upload->message == nullptr) {
    if (!upload->paused) upload->waiting_since = std::chrono::steady_clock::now();
    upload->paused = upload->waited = true;
    return CURL_READFUNC_PAUSE;
  }
  if (!upload->handed && ExceedsServerSize(*upload)) {
    upload->too_large = true;
    return CURL_READFUNC_ABORT;
  }
  const Result<std::size_t> n = upload->message->Read(buffer, size * count);
  if (!n.ok()) {
    upload->failed = true;
    return CURL_READFUNC_ABORT;
  }
  upload->handed = true;
  return *n;
}

// libcurl's upload buffer. Kept small: SMTP keeps a second one, twice its size, for the dot
// escaping, and fresh memory costs more to fault in than turns through the callback cost.
constexpr long kUploadBuffer = 64L << 10;

// What libcurl lets the server's answers add up to (its limit on response headers), past which it
// stops with CURLE_RECV_ERROR as it does when the connection closes.
constexpr long kLongestAnswers = 300L << 10;

// How the transfer ended, as libcurl tells it.
struct TransferOutcome {
  CURLcode code = CURLE_OK;
  long reply_code = 0;    // the server's last reply code
  long answer_bytes = 0;  // what the server's answers added up to
};

Status MailStatusOf(const TransferOutcome& end, const Dialogue& dialogue) {
  switch (end.code) {
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
      // Once the whole message is out, the server may have taken it without saying so in time.
      return Status(dialogue.command == SmtpCommand::kMessage && !dialogue.answered
                        ? error::kMailNotConfirmed
                        : error::kMailTimeout);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_SEND_ERROR:
      // The refusals that libcurl reports alike, and a connection lost while sending.
      if (dialogue.answered && IsRefusalReply(dialogue.command, end.reply_code)) {
        return Status(RefusalError(dialogue.command, end.reply_code));
      }
      return Status(error::kMailConnectionClosed);
    case CURLE_RECV_ERROR:
      // libcurl adds up every line of a long multi-line answer (EHLO's) against its limit.
      return Status(end.answer_bytes > kLongestAnswers ? error::kMailAnswerTooLarge
                                                       : error::kMailConnectionClosed);
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
    // The first answer goes with AUTH itself: the sign-in takes one round trip, not two.
    options.Set(CURLOPT_USERNAME, endpoint.user.c_str())
        .Set(CURLOPT_PASSWORD, endpoint.password.c_str())
        .Set(CURLOPT_SASL_IR, 1L);
  }
}

// Nothing runs between waits on the server; libcurl still wakes up for its own timers.
constexpr std::chrono::milliseconds kWaitSlice{1000};

// The envelope's recipients as libcurl takes them, or nothing without memory.
CurlSlist RecipientList(const MailContent& content) {
  CurlSlist recipients;
  for (const Mailbox& to : content.to) {
    const std::string path = "<" + to.address.wire() + ">";
    curl_slist* longer = curl_slist_append(recipients.get(), path.c_str());
    if (longer == nullptr) return nullptr;
    recipients.release();
    recipients.reset(longer);
  }
  return recipients;
}

// The connection's open sockets, opened and closed through libcurl's callbacks so that a
// session can be cut off (see SmtpSession::Cut).
using Sockets = std::vector<curl_socket_t>;

curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  const curl_socket_t socket =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (socket != CURL_SOCKET_BAD) static_cast<Sockets*>(user)->push_back(socket);
  return socket;
}

int CloseSocket(void* user, curl_socket_t socket) {
  std::erase(*static_cast<Sockets*>(user), socket);
  return ::close(socket);
}

// Whether the server has spoken or hung up on a session that waits inside DATA, where it has
// nothing to say before the final ".": its time-out (a 421, say) or its end. libcurl reads
// nothing while the upload is paused, so the words are still in the socket.
bool ServerGaveUp(const Sockets& sockets) {
  for (const curl_socket_t socket : sockets) {
    pollfd watch{.fd = socket, .events = POLLIN | POLLRDHUP, .revents = 0};
    if (::poll(&watch, 1, 0) != 0) return true;
  }
  return false;
}

}  // namespace

// One SMTP transfer on its easy handle: the options and what its callbacks keep. It does not
// move: libcurl holds pointers into it.
struct SmtpTransfer {
  CurlEasy handle;
  CurlSlist recipients;
  std::string from;
  std::string address;
  SmtpEndpoint signing_in;
  Dialogue dialogue;
  Upload upload{.dialogue = &dialogue};
  Brake brake{.dialogue = &dialogue};
  Sockets sockets;

  // Sets the transfer up for `content`'s envelope, the whole of it to end within `total`;
  // `size` is the message's length, -1 when it is not known.
  Status Prepare(const SmtpEndpoint& endpoint, const MailContent& content, const MailLimits& limits,
                 std::chrono::milliseconds total, long long size);
  // The outcome of the transfer that ended with `code`.
  Status Outcome(CURLcode code) const;
};

Status SmtpTransfer::Prepare(const SmtpEndpoint& endpoint, const MailContent& content,
                             const MailLimits& limits, std::chrono::milliseconds total,
                             long long size) {
  handle = NewCurlEasy();
  if (!handle) return Status(error::kMailFailed);
  recipients = RecipientList(content);
  if (!recipients && !content.to.empty()) return Status(error::kOutOfMemory);
  from = "<" + content.from->wire() + ">";
  address = CurlAddress(endpoint, *content.from);
  if (address.empty()) return Status(error::kOutOfMemory);
  brake.deadline = std::chrono::steady_clock::now() + total;
  CurlOptions options(handle.get());
  if (Status shared = SetSharedOptions(options); !shared.ok()) return shared;
  options.Set(CURLOPT_URL, address.c_str())
      .Set(CURLOPT_PROTOCOLS_STR, "smtp,smtps")
      // One message per connection: it ends within this call, never later in a wait for QUIT.
      .Set(CURLOPT_FORBID_REUSE, 1L)
      .Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect_timeout.count()))
      .Set(CURLOPT_TIMEOUT_MS, static_cast<long>(total.count()))
      .Set(CURLOPT_NOPROGRESS, 0L)
      .Set(CURLOPT_XFERINFOFUNCTION, &StopEarly)
      .Set(CURLOPT_XFERINFODATA, &brake);
  signing_in = WithNetrcLogin(endpoint, limits);
  // libcurl would cut a name at a NUL, or fail to sign in and send anyway.
  if (HasAsciiControl(signing_in.user) || HasAsciiControl(signing_in.password)) {
    return Status(error::kMailLoginUnusable);
  }
  SetSecurity(options, signing_in);
  dialogue.signs_in = !signing_in.user.empty();
  options.Set(CURLOPT_MAIL_FROM, from.c_str())
      .Set(CURLOPT_MAIL_RCPT, recipients.get())
      .Set(CURLOPT_UPLOAD, 1L)
      .Set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size))
      .Set(CURLOPT_UPLOAD_BUFFERSIZE, kUploadBuffer)
      .Set(CURLOPT_READFUNCTION, &ReadMessage)
      .Set(CURLOPT_READDATA, &upload)
      .Set(CURLOPT_DEBUGFUNCTION, &WatchDialogue)
      .Set(CURLOPT_DEBUGDATA, &dialogue)
      .Set(CURLOPT_VERBOSE, 1L)
      .Set(CURLOPT_OPENSOCKETFUNCTION, &OpenSocket)
      .Set(CURLOPT_OPENSOCKETDATA, &sockets)
      .Set(CURLOPT_CLOSESOCKETFUNCTION, &CloseSocket)
      .Set(CURLOPT_CLOSESOCKETDATA, &sockets);
  return options.ok() ? Status::Ok() : Status(error::kMailFailed);
}

Status SmtpTransfer::Outcome(CURLcode code) const {
  TransferOutcome end;
  end.code = code;
  curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &end.reply_code);
  curl_easy_getinfo(handle.get(), CURLINFO_HEADER_SIZE, &end.answer_bytes);
  if (upload.failed) return Status(error::kMailComposeFailed);
  if (dialogue.sign_in_skipped) {
    // Credentials that were not used: the server's own words about what it offers.
    return Status(error::kMailNoSignIn,
                  ServerReplyDetail(std::atol(dialogue.hello_line.c_str()), dialogue.hello_line,
                                    signing_in.password));
  }
  const Status status = MailStatusOf(end, dialogue);
  if (!IsRefusal(status.number()) || end.reply_code < 400 || dialogue.last_line.empty()) {
    return status;
  }
  return Status(status.number(),
                ServerReplyDetail(end.reply_code, dialogue.last_line, signing_in.password));
}

Status SendSmtp(const SmtpEndpoint& endpoint, const MailContent& content,
                const MailLimits& limits) {
  Result<std::unique_ptr<MailStream>> message = MailStream::Open(content);
  if (!message.ok()) return message.status();
  SmtpTransfer transfer;
  const Status prepared =
      transfer.Prepare(endpoint, content, limits, limits.total_timeout, (*message)->ExpectedSize());
  if (!prepared.ok()) return prepared;
  transfer.upload.message = message->get();
  return transfer.Outcome(RunTransfer(transfer.handle.get(), kWaitSlice, {}).result);
}

std::unique_ptr<SmtpSession> SmtpSession::Open(CurlDriver& driver, const SmtpEndpoint& endpoint,
                                               const MailContent& envelope,
                                               const MailLimits& limits) {
  std::unique_ptr<SmtpSession> session(new SmtpSession(driver, envelope, limits));
  MailLimits keeping = limits;
  keeping.warn = [held = session.get()](std::string_view text) {
    held->warnings_.emplace_back(text);
  };
  if (!session->transfer_
           ->Prepare(endpoint, envelope, keeping, limits.total_timeout + limits.session_wait, -1)
           .ok() ||
      !driver.Add(session->transfer_->handle.get())) {
    return nullptr;
  }
  session->added_ = true;
  driver.SetHousekeeping([held = session.get()] { held->ExpireIfStale(); });
  return session;
}

SmtpSession::SmtpSession(CurlDriver& driver, const MailContent& envelope, const MailLimits& limits)
    : driver_(driver),
      transfer_(std::make_unique<SmtpTransfer>()),
      envelope_(EnvelopeOf(envelope)),
      warn_(limits.warn),
      longest_wait_(limits.session_wait) {}

SmtpSession::~SmtpSession() {
  if (added_) {
    driver_.SetHousekeeping({});
    Cut();
  }
}

std::string SmtpSession::EnvelopeOf(const MailContent& content) {
  std::string envelope = content.from ? content.from->wire() : "";
  for (const Mailbox& to : content.to) envelope += "\n" + to.address.wire();
  return envelope;
}

void SmtpSession::Cut() {
  if (cut_) return;
  cut_ = true;
  // libcurl ends an SMTP upload that is taken out unfinished as if its message were whole: it
  // sends the final "." and waits for the answer. With its connection shut first, nothing more
  // reaches the server, which sees the connection end and keeps nothing.
  for (const curl_socket_t socket : transfer_->sockets) ::shutdown(socket, SHUT_RDWR);
  driver_.Remove(transfer_->handle.get());
}

void SmtpSession::ExpireIfStale() {
  const Upload& upload = transfer_->upload;
  if (upload.paused && upload.message == nullptr &&
      std::chrono::steady_clock::now() - upload.waiting_since > longest_wait_) {
    Cut();
  }
}

std::optional<Status> SmtpSession::Send(const MailContent& content) {
  CURL* easy = transfer_->handle.get();
  const Upload& upload = transfer_->upload;
  ExpireIfStale();
  if (cut_ || EnvelopeOf(content) != envelope_) {
    Cut();
    return std::nullopt;
  }
  if (const std::optional<CURLcode> ended = driver_.Ended(easy)) {
    Cut();
    // A dialogue that failed before it reached the message would fail alike on a fresh session,
    // after as long again: a server that cannot be reached costs its time-out once. One that
    // failed while it waited for the message (closed by the server, say) is tried afresh.
    if (*ended == CURLE_OK || upload.waited) return std::nullopt;
    return Told(transfer_->Outcome(*ended));
  }
  if (upload.paused && ServerGaveUp(transfer_->sockets)) {
    Cut();
    return std::nullopt;
  }
  Result<std::unique_ptr<MailStream>> message = MailStream::Open(content);
  if (!message.ok()) return message.status();
  message_ = std::move(message).value();
  transfer_->upload.message = message_.get();
  if (upload.paused) curl_easy_pause(easy, CURLPAUSE_CONT);
  transfer_->upload.paused = false;
  const CURLcode code = driver_.Run(easy, kWaitSlice, {}).result;
  cut_ = true;  // Run took the handle out
  // Nothing of the message went out after the session had waited for it, or the server is too
  // small for it: a fresh session sends it as if this one had never been.
  if (code != CURLE_OK && !upload.handed && !upload.failed && (upload.waited || upload.too_large)) {
    return std::nullopt;
  }
  return Told(transfer_->Outcome(code));
}

Status SmtpSession::Told(Status outcome) const {
  if (warn_) {
    for (const std::string& warning : warnings_) warn_(warning);
  }
  return outcome;
}

}  // namespace webletter
