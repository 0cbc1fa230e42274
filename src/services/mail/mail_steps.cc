#include "services/mail/mail_steps.h"

#include <tuple>
#include <utility>

#include "services/mail/smtp_mailer.h"

namespace webletter {

namespace {

// The steps up to the body. Each step's failure stays with the mailer, which then sends nothing
// and answers with it.
void EnvelopeSteps(SmtpMailer& mailer, const MailSteps& steps) {
  std::ignore = mailer.SmtpHost(steps.server);
  std::ignore = mailer.MailFrom(steps.from_address);
  if (steps.from_name) std::ignore = mailer.MailFromName(*steps.from_name);
  std::ignore = mailer.AddRecipient(steps.to_address, steps.to_name);
  std::ignore =
      steps.subject.ok() ? mailer.MailSubject(*steps.subject) : mailer.Note(steps.subject.status());
}

}  // namespace

Status SendInSteps(MailSteps steps, const MailLimits& limits) {
  SmtpMailer mailer(limits);
  EnvelopeSteps(mailer, steps);
  std::ignore = mailer.MailBody(std::move(steps.body), steps.body_charset);
  if (steps.html) std::ignore = mailer.AsHtml(*steps.html);
  if (steps.plain_text) std::ignore = mailer.MailPlainText(std::move(*steps.plain_text));
  std::ignore = mailer.MailList(std::move(steps.list));
  return steps.write_to >= 0 ? mailer.WriteMail(steps.write_to) : mailer.SendMail(steps.session);
}

std::unique_ptr<SmtpSession> OpenSessionAhead(const MailSteps& steps, CurlDriver& driver,
                                              const MailLimits& limits) {
  SmtpMailer mailer(limits);
  EnvelopeSteps(mailer, steps);
  return mailer.OpenSession(driver);
}

}  // namespace webletter
