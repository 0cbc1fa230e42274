#include "services/mail/smtp_mailer.h"

#include <optional>
#include <utility>

#include "base/ascii.h"
#include "base/posix_file.h"
#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;

// A typed address, blanks around it dropped (a typed address often carries one). An empty
// address fails with `error_when_empty`.
Result<MailAddress> ParseTyped(std::string_view address, int error_when_empty) {
  const auto first = address.find_first_not_of(' ');
  if (first == std::string_view::npos) return Status(error_when_empty);
  return MailAddress::Parse(address.substr(first, address.find_last_not_of(' ') - first + 1));
}

}  // namespace

SmtpMailer::SmtpMailer(MailLimits limits) : limits_(std::move(limits)) {}

SmtpMailer::~SmtpMailer() = default;

Status SmtpMailer::SmtpHost(std::string_view server) {
  Result<SmtpEndpoint> endpoint = ParseSmtpServer(server);
  has_server_ = endpoint.ok();
  if (!endpoint.ok()) return Note(endpoint.status());
  server_ = std::move(endpoint).value();
  return Status::Ok();
}

Status SmtpMailer::MailFrom(std::string_view address) {
  Result<MailAddress> from = ParseTyped(address, error::kMailNoSender);
  if (!from.ok()) return Note(from.status());
  content_.from = std::move(from).value();
  return Status::Ok();
}

Status SmtpMailer::MailFromName(std::string_view name) {
  content_.from_name = name;
  return Status::Ok();
}

Status SmtpMailer::AddRecipient(std::string_view address, std::string_view name) {
  Result<MailAddress> to = ParseTyped(address, error::kMailNoRecipient);
  if (!to.ok()) return Note(to.status());
  content_.to.push_back({std::move(to).value(), std::string(name)});
  return Status::Ok();
}

Status SmtpMailer::MailSubject(std::string_view subject) {
  content_.subject = subject;
  return Status::Ok();
}

Status SmtpMailer::MailBody(std::string body, std::string_view charset) {
  if (!IsCharsetName(charset)) return Note(Status(error::kMailComposeFailed));
  content_.body = std::move(body);
  content_.charset = charset;
  return Status::Ok();
}

Status SmtpMailer::AsHtml(bool html) {
  content_.html = html;
  return Status::Ok();
}

Status SmtpMailer::MailPlainText(std::string text) {
  content_.plain_text = std::move(text);
  return Status::Ok();
}

Status SmtpMailer::MailList(MailingList list) {
  content_.list = std::move(list);
  return Status::Ok();
}

Status SmtpMailer::Note(Status outcome) {
  if (!outcome.ok()) last_failure_ = outcome;
  return outcome;
}

Status SmtpMailer::ReadyToSend() const {
  if (!last_failure_.ok()) return last_failure_;
  if (!has_server_) return Status(error::kMailServerInvalid);
  if (!content_.from) return Status(error::kMailNoSender);
  if (content_.to.empty()) return Status(error::kMailNoRecipient);
  return Status::Ok();
}

Status SmtpMailer::SendMail(SmtpSession* session) {
  if (Status ready = ReadyToSend(); !ready.ok()) return ready;
  if (session != nullptr) {
    if (std::optional<Status> sent = session->Send(content_)) return *sent;
  }
  return SendSmtp(server_, content_, limits_);
}

std::unique_ptr<SmtpSession> SmtpMailer::OpenSession(CurlDriver& driver) const {
  if (!ReadyToSend().ok()) return nullptr;
  return SmtpSession::Open(driver, server_, content_, limits_);
}

Status SmtpMailer::WriteMail(int fd) {
  if (Status ready = ReadyToSend(); !ready.ok()) return ready;
  Result<std::unique_ptr<MailStream>> message = MailStream::Open(content_);
  if (!message.ok()) return message.status();
  std::string buffer(kWriteBuffer, '\0');
  for (;;) {
    const Result<std::size_t> count = (*message)->Read(buffer.data(), buffer.size());
    if (!count.ok()) return count.status();
    if (*count == 0) return Status::Ok();
    if (Status written = WriteAll(fd, {buffer.data(), *count}); !written.ok()) return written;
  }
}

Result<std::string> SmtpMailer::ComposeMessage() const { return ComposeMail(content_); }

}  // namespace webletter
