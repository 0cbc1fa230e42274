// Composes one message and sends it through an SMTP server. An instance serves one message:
// set it up with the operations below in any order, then call SendMail once. Every operation
// can fail with an error number of the standard-message table; callers run them through
// ErrorContinuation so that a failing step does not stop the next.
//
// Not copyable: an instance is one message being built.
#ifndef WEBLETTER_SERVICES_SMTP_MAILER_H_
#define WEBLETTER_SERVICES_SMTP_MAILER_H_

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace webletter {

struct MailLimits {
  std::chrono::milliseconds connect_timeout{std::chrono::seconds(30)};
  std::chrono::milliseconds total_timeout{std::chrono::minutes(5)};
};

class SmtpMailer {
 public:
  explicit SmtpMailer(MailLimits limits = {});
  ~SmtpMailer();
  SmtpMailer(const SmtpMailer&) = delete;
  SmtpMailer& operator=(const SmtpMailer&) = delete;

  // The server: "host" (port 25), "host:port", "smtp://host[:port]" or "smtps://host[:port]"
  // (TLS from the first byte, port 465 by default).
  Status SmtpHost(std::string_view server);
  // The envelope and From address. An address holding CR, LF, NUL or another control
  // character, or "<" or ">", is refused with error::kMailAddressInvalid.
  Status MailFrom(std::string_view address);
  Status MailFromName(std::string_view name);
  Status AddRecipient(std::string_view address, std::string_view name = {});
  Status MailSubject(std::string_view subject);
  // The body: UTF-8 text, or a page's bytes in their own charset.
  Status MailBody(std::string_view body, std::string_view charset = "utf-8");
  Status AsHtml(bool html);
  // Composes the message and sends it; returns once the server has taken it or it failed.
  Status SendMail();

  // The message as it would go on the wire (CR LF line ends), for tests and fuzzing.
  Result<std::string> ComposeMessage() const;

 private:
  struct Recipient {
    std::string address;
    std::string name;
  };

  MailLimits limits_;
  std::string server_;
  std::string from_address_;
  std::string from_name_;
  std::vector<Recipient> recipients_;
  std::string subject_;
  std::string body_;
  std::string body_charset_ = "utf-8";
  bool html_ = false;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_SMTP_MAILER_H_
