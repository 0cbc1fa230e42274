// The SMTP delivery of a message with libcurl. Every failure becomes an error number of the
// standard-message table; a step the server refused also keeps the server's own reply as the
// failure's detail (see server_reply.h). No text of libcurl is kept.
#ifndef WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_
#define WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "services/curl_support.h"
#include "services/mail/mail_limits.h"
#include "services/mail/mail_stream.h"
#include "services/mail/smtp_endpoint.h"

namespace webletter {

// Composes the message of `content` (see MailStream) and hands it to the server as it is
// composed, with the content's sender and recipients as the envelope; succeeds only once the
// server has taken it after the final ".". A failure to compose is error::kMailComposeFailed.
// Through smtp:// STARTTLS is used whenever the server offers it.
// The sign-in uses the endpoint's credentials, else the user's ~/.netrc entry for the host;
// with credentials from either, the connection must be encrypted or nothing is sent
// (error::kMailNoEncryption): a password never crosses the wire in clear. A user name or
// password with a control character is error::kMailLoginUnusable, before any connection.
// Certificates are always verified, against the system's trust store or the one that SSL_CERT_FILE
// / SSL_CERT_DIR name; a failing one is error::kMailCertificateInvalid. EHLO gives the name that
// EhloNameTowards picks. The whole send, the wait for the answer to QUIT included, ends by
// limits.total_timeout (error::kMailTimeout unless the server has taken the message).
Status SendSmtp(const SmtpEndpoint& endpoint, const MailContent& content, const MailLimits& limits);

struct SmtpTransfer;

// A session opened before its message exists, so that the dialogue up to the message (the
// greeting, EHLO, STARTTLS, the sign-in, MAIL FROM, RCPT TO and DATA) overlaps other work on
// the same driver, a page fetch above all. It goes as far as the server lets it and then waits,
// inside DATA, for Send; it never sends QUIT before the message (libcurl cannot), so a session
// given up is cut off inside DATA, where the server keeps nothing. MAIL FROM goes without SIZE=.
// Warnings about the sign-in (see MailLimits) are held back and told when the session sends.
// Not copyable; the driver must outlive it.
class SmtpSession {
 public:
  // Starts the session for the sender and recipients of `envelope` on `driver`, which runs it
  // as it runs anything (the session keeps the driver's housekeeping to itself); nothing when it
  // cannot start. It waits inside DATA for its message for limits.session_wait at most, and
  // the whole session ends within limits.total_timeout plus that wait.
  static std::unique_ptr<SmtpSession> Open(CurlDriver& driver, const SmtpEndpoint& endpoint,
                                           const MailContent& envelope, const MailLimits& limits);
  ~SmtpSession();  // cuts the session off unless it has ended
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Composes `content`'s message and sends it on this session, as SendSmtp would, and returns
  // its outcome; a dialogue that failed before it reached the message (a refusal, a server that
  // cannot be reached) is that outcome, as a fresh session would meet it again. Nothing when the
  // session cannot take the message, before a byte of it went out: the session failed while it
  // waited for it, or its server gave up on it there (a time-out's 421, a closed connection),
  // it waited too long, has another envelope, or its server announced a SIZE that the message
  // exceeds. The caller then sends it on a fresh session (SendSmtp): the server kept
  // nothing of this one.
  std::optional<Status> Send(const MailContent& content);

 private:
  SmtpSession(CurlDriver& driver, const MailContent& envelope, const MailLimits& limits);
  static std::string EnvelopeOf(const MailContent& content);
  // Takes the transfer off the driver where it is (see CurlDriver::Remove).
  void Cut();
  // Cuts the session off once it has waited longer than longest_wait_ for its message.
  void ExpireIfStale();
  // `outcome`, after the warnings held back.
  Status Told(Status outcome) const;

  CurlDriver& driver_;
  std::unique_ptr<SmtpTransfer> transfer_;
  std::unique_ptr<MailStream> message_;
  std::string envelope_;
  std::function<void(std::string_view)> warn_;
  std::chrono::milliseconds longest_wait_;
  std::vector<std::string> warnings_;
  bool added_ = false;
  bool cut_ = false;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_
