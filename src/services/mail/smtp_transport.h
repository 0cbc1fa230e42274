// The SMTP delivery of a message with libcurl. Every failure becomes an error number of the
// standard-message table; a step the server refused also keeps the server's own reply as the
// failure's detail (see server_reply.h). No text of libcurl is kept.
#ifndef WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_
#define WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_

#include "base/status.h"
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

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_SMTP_TRANSPORT_H_
