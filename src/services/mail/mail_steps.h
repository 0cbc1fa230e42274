// One message through SmtpMailer in the fixed order of its operations, shared by the batch job,
// its error mail and the window's Send: SmtpHost, MailFrom, MailFromName, AddRecipient,
// MailSubject, MailBody, AsHtml, MailPlainText, MailList, SendMail. A failing step does not stop
// the next and the last failure counts; the send itself runs only when every step before it
// succeeded, so a message missing its subject or its sender never goes out. The mailer keeps that
// failure: it is the one record of the steps.
#ifndef WEBLETTER_SERVICES_MAIL_MAIL_STEPS_H_
#define WEBLETTER_SERVICES_MAIL_MAIL_STEPS_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "services/mail/mail_limits.h"
#include "services/mail/mailing_list.h"
#include "services/mail/smtp_transport.h"

namespace webletter {

struct MailSteps {
  std::string_view server;
  std::string_view from_address;
  std::optional<std::string_view> from_name;  // not set: MailFromName is skipped
  std::string_view to_address;
  std::string_view to_name;
  // The subject with its date tag filled; a failed fill counts as a failed step.
  Result<std::string> subject;
  std::string body;  // moved into the mailer
  std::string_view body_charset = "utf-8";
  std::optional<bool> html;  // not set: AsHtml is skipped (plain text)
  // A descriptor to write the message to instead of sending it (a dry run); -1: send.
  int write_to = -1;
  // A text/plain rendering of the HTML body (UTF-8): when set, the message is
  // multipart/alternative, the text first, then the body.
  std::optional<std::string> plain_text = std::nullopt;
  // The newsletter's list, for the List-Id, List-Unsubscribe and List-Unsubscribe-Post headers;
  // none when empty. See mailing_list.h.
  MailingList list = {};
  // A session opened ahead by OpenSessionAhead, which the message goes on where it can.
  SmtpSession* session = nullptr;
};

// Runs the steps and returns the last failure, or success when the server took the message (or
// it was written whole to steps.write_to).
Status SendInSteps(MailSteps steps, const MailLimits& limits = {});

// Runs the steps before the body and opens a session on `driver` for the message they make
// (see SmtpSession): nothing when one of them failed.
std::unique_ptr<SmtpSession> OpenSessionAhead(const MailSteps& steps, CurlDriver& driver,
                                              const MailLimits& limits = {});

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_STEPS_H_
