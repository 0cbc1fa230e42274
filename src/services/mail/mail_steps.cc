#include "services/mail/mail_steps.h"

#include <utility>

#include "services/mail/error_continuation.h"
#include "services/mail/smtp_mailer.h"

namespace webletter {

Status SendInSteps(MailSteps steps, const MailLimits& limits) {
  ErrorContinuation run;
  SmtpMailer mailer(limits);
  run.Run([&] { return mailer.SmtpHost(steps.server); });
  run.Run([&] { return mailer.MailFrom(steps.from_address); });
  if (steps.from_name) run.Run([&] { return mailer.MailFromName(*steps.from_name); });
  run.Run([&] { return mailer.AddRecipient(steps.to_address, steps.to_name); });
  run.Run([&] {
    return steps.subject.ok() ? mailer.MailSubject(*steps.subject) : steps.subject.status();
  });
  run.Run([&] { return mailer.MailBody(std::move(steps.body), steps.body_charset); });
  if (steps.html) run.Run([&] { return mailer.AsHtml(*steps.html); });
  if (!run.failed()) {
    run.Run(
        [&] { return steps.write_to >= 0 ? mailer.WriteMail(steps.write_to) : mailer.SendMail(); });
  }
  return run.last_error();
}

}  // namespace webletter
