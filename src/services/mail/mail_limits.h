// How long a send may take and what it tells its caller on the way: the limits and callbacks
// that the batch job, its error mail and the window give the SMTP transport.
#ifndef WEBLETTER_SERVICES_MAIL_MAIL_LIMITS_H_
#define WEBLETTER_SERVICES_MAIL_MAIL_LIMITS_H_

#include <chrono>
#include <functional>
#include <string_view>

namespace webletter {

struct MailLimits {
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(30)};
  // The whole send, the wait for the server's answer to QUIT included.
  std::chrono::milliseconds total_timeout{std::chrono::minutes(5)};
  // How long a session opened before its message waits inside DATA for it before it is cut off
  // (see SmtpSession), well before servers give up on a silent client.
  std::chrono::milliseconds session_wait{std::chrono::seconds(30)};
  // Told each warning for the user about the sign-in (a ~/.netrc that others can read); may be
  // empty.
  std::function<void(std::string_view)> warn;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_LIMITS_H_
