#include "services/mail/server_reply.h"

#include <glib.h>

#include <array>
#include <utility>

#include "base/ascii.h"
#include "base/shown_text.h"
#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::size_t kReplyDetailLength = 200;

// The reply to MAIL FROM that says the message is larger than the server takes.
constexpr long kMessageTooLarge = 552;

}  // namespace

SmtpCommand CommandOf(std::string_view line, SmtpCommand current) {
  static constexpr std::array<std::pair<std::string_view, SmtpCommand>, 7> kVerbs = {{
      {"EHLO", SmtpCommand::kHello},
      {"HELO", SmtpCommand::kHello},
      {"STARTTLS", SmtpCommand::kStartTls},
      {"AUTH", SmtpCommand::kAuth},
      {"MAIL", SmtpCommand::kMailFrom},
      {"RCPT", SmtpCommand::kRcptTo},
      {"DATA", SmtpCommand::kData},
  }};
  const std::string_view verb = line.substr(0, line.find_first_of(" \r\n"));
  for (const auto& [name, command] : kVerbs) {
    if (verb == name) return command;
  }
  return current;
}

bool IsRefusalReply(SmtpCommand command, long code) {
  switch (command) {
    case SmtpCommand::kData:
      return code != 354;
    case SmtpCommand::kMessage:
      return code != 250;
    default:
      return code / 100 != 2;
  }
}

int RefusalError(SmtpCommand command, long code) {
  switch (command) {
    case SmtpCommand::kAuth:
      return error::kMailLoginDenied;
    case SmtpCommand::kMailFrom:
      return code == kMessageTooLarge ? error::kMailMessageRefused : error::kMailSenderRefused;
    case SmtpCommand::kRcptTo:
      return error::kMailRecipientRefused;
    case SmtpCommand::kData:
    case SmtpCommand::kMessage:
      return error::kMailMessageRefused;
    default:
      return error::kMailServerRefused;
  }
}

bool IsRefusal(int error_number) {
  switch (error_number) {
    case error::kMailServerRefused:
    case error::kMailLoginDenied:
    case error::kMailSenderRefused:
    case error::kMailRecipientRefused:
    case error::kMailMessageRefused:
      return true;
    default:
      return false;
  }
}

namespace {

bool IsBase64Character(char c) {
  return IsAsciiLetterOrDigit(c) || c == '+' || c == '/' || c == '=';
}

// `text` decoded as base64 (padded where its end lacks it); "" when it is no base64.
std::string DecodeBase64(std::string_view text) {
  std::string padded(text);
  padded.append((4 - padded.size() % 4) % 4, '=');
  gsize size = 0;
  guchar* decoded = g_base64_decode(padded.c_str(), &size);
  std::string bytes(reinterpret_cast<const char*>(decoded), size);
  g_free(decoded);
  return bytes;
}

// `detail` with every run of base64 that decodes to something holding `password` (a server that
// echoes the sign-in, "AUTH PLAIN AGVk..." say) as "***".
void MaskEncodedPassword(std::string& detail, std::string_view password) {
  for (std::size_t start = 0; start < detail.size();) {
    std::size_t end = start;
    while (end < detail.size() && IsBase64Character(detail[end])) ++end;
    const std::size_t length = end - start;
    if (length >= 4 &&
        DecodeBase64(std::string_view(detail).substr(start, length)).find(password) !=
            std::string::npos) {
      detail.replace(start, length, kMask);
      end = start + kMask.size();
    }
    start = end + 1;
  }
}

}  // namespace

std::string ServerReplyDetail(long code, std::string_view line, std::string_view password) {
  const std::string number = std::to_string(code);
  // The line's own code, with "-" or " " after it, gives way to the one libcurl reports.
  if (line.size() > number.size() && line.starts_with(number) &&
      (line[number.size()] == ' ' || line[number.size()] == '-')) {
    line.remove_prefix(number.size() + 1);
  }
  std::string detail = number + " " + std::string(line);
  if (!password.empty()) {
    for (size_t at = detail.find(password); at != std::string::npos;
         at = detail.find(password, at + kMask.size())) {
      detail.replace(at, password.size(), kMask);
    }
    MaskEncodedPassword(detail, password);
  }
  if (detail.size() > kReplyDetailLength) detail.resize(kReplyDetailLength);
  for (char& c : detail) {
    if (IsAsciiControl(c)) c = ' ';
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  while (!detail.empty() && detail.back() == ' ') detail.pop_back();
  return detail;
}

}  // namespace webletter
