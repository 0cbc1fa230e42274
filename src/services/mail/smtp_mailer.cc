#include "services/mail/smtp_mailer.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/posix_file.h"
#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;

// The address as it goes into the envelope and the header: blanks around it dropped (a typed
// address often carries one), a non-ASCII domain in its ASCII form. An empty address fails with
// `error_when_empty`, anything but one plain address with error::kMailAddressInvalid.
Result<std::string> WireAddress(std::string_view address, int error_when_empty) {
  const auto first = address.find_first_not_of(' ');
  if (first == std::string_view::npos) return Status(error_when_empty);
  address = address.substr(first, address.find_last_not_of(' ') - first + 1);
  return WireMailAddress(address);
}

}  // namespace

SmtpMailer::SmtpMailer(MailLimits limits) : limits_(limits) {}

SmtpMailer::~SmtpMailer() = default;

Status SmtpMailer::SmtpHost(std::string_view server) {
  Result<SmtpEndpoint> endpoint = ParseSmtpServer(server);
  has_server_ = endpoint.ok();
  if (!endpoint.ok()) return Note(endpoint.status());
  server_ = std::move(endpoint).value();
  return Status::Ok();
}

Status SmtpMailer::MailFrom(std::string_view address) {
  Result<std::string> wire = WireAddress(address, error::kMailNoSender);
  if (!wire.ok()) return Note(wire.status());
  content_.from.address = std::move(wire).value();
  return Status::Ok();
}

Status SmtpMailer::MailFromName(std::string_view name) {
  content_.from.name = name;
  return Status::Ok();
}

Status SmtpMailer::AddRecipient(std::string_view address, std::string_view name) {
  Result<std::string> wire = WireAddress(address, error::kMailNoRecipient);
  if (!wire.ok()) return Note(wire.status());
  content_.to.push_back({std::move(wire).value(), std::string(name)});
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

Status SmtpMailer::ReadyToSend() const {
  if (!setup_failure_.ok()) return setup_failure_;
  if (!has_server_) return Status(error::kMailServerInvalid);
  if (content_.from.address.empty()) return Status(error::kMailNoSender);
  if (content_.to.empty()) return Status(error::kMailNoRecipient);
  return Status::Ok();
}

Status SmtpMailer::SendMail() {
  if (Status ready = ReadyToSend(); !ready.ok()) return ready;
  Result<std::unique_ptr<MailStream>> message = MailStream::Open(content_);
  if (!message.ok()) return message.status();
  SmtpEnvelope envelope{content_.from.address, {}};
  for (const MailAddress& recipient : content_.to) envelope.to.push_back(recipient.address);
  MailStream& stream = **message;
  return SendSmtp(
      server_, envelope, [&](char* buffer, std::size_t size) { return stream.Read(buffer, size); },
      stream.ExpectedSize(), limits_);
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

Status SmtpMailer::Note(Status outcome) {
  if (!outcome.ok()) setup_failure_ = outcome;
  return outcome;
}

}  // namespace webletter
