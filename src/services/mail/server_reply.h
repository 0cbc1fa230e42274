// What a mail server's refusal means to the user: which standard message it gets, told by the
// command it answered, and the server's own reply as the failure's detail. libcurl reports the
// refusals of several commands with one code (MAIL FROM, RCPT TO and DATA alike; the greeting
// and the end of the message alike), so the transport records the last command it saw sent and
// the reply code, and asks here; libcurl's error texts, which it does not promise, are not read.
#ifndef WEBLETTER_SERVICES_MAIL_SERVER_REPLY_H_
#define WEBLETTER_SERVICES_MAIL_SERVER_REPLY_H_

#include <string>
#include <string_view>

namespace webletter {

// The steps of the dialogue that a server can refuse, in the order they come.
enum class SmtpCommand { kGreeting, kHello, kStartTls, kAuth, kMailFrom, kRcptTo, kData, kMessage };

// The command that a line the client sent starts (EHLO or HELO, STARTTLS, AUTH, MAIL FROM, RCPT
// TO, DATA), or `current` for any other line: an answer to the sign-in's challenge goes on with
// AUTH. kMessage is no line's: it is the message's bytes and their end.
SmtpCommand CommandOf(std::string_view line, SmtpCommand current);

// Whether reply `code` to `command` says no: anything but 354 to DATA, 250 to the end of the
// message, and a 2xx code to the rest.
bool IsRefusalReply(SmtpCommand command, long code);

// The standard message of a refusal: error::kMailServerRefused for the greeting, EHLO or HELO and
// STARTTLS; kMailLoginDenied for the sign-in; kMailSenderRefused for MAIL FROM, or
// kMailMessageRefused when `code` is 552 (the message is larger than the server takes);
// kMailRecipientRefused for RCPT TO; kMailMessageRefused for DATA and the message.
int RefusalError(SmtpCommand command, long code);

// Whether `error_number` is one of RefusalError's, which show the server's reply.
bool IsRefusal(int error_number);

// The failure's detail for a server's reply: "CODE TEXT" from `code` and the reply's last line,
// `password` (when not empty) as "***", cut at 200 characters, control characters (its line end
// too) as blanks, blanks at the end dropped, and other bytes than ASCII as "?" (replies are ASCII
// text; the log and the boxes stay valid UTF-8).
std::string ServerReplyDetail(long code, std::string_view line, std::string_view password);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_SERVER_REPLY_H_
