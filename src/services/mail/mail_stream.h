// One e-mail message and its composition, with GMime, into the bytes that go on the wire: the
// headers the program sends and one text part that carries the body's bytes unchanged under
// their own charset label, alone or after a text/plain alternative.
#ifndef WEBLETTER_SERVICES_MAIL_MAIL_STREAM_H_
#define WEBLETTER_SERVICES_MAIL_MAIL_STREAM_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "services/mail/mail_address.h"
#include "services/mail/mailing_list.h"

namespace webletter {

// What a message holds; its sender and recipients are also the envelope's.
struct MailContent {
  std::optional<MailAddress> from;  // needed to compose
  std::string from_name;            // UTF-8; may be empty
  std::vector<Mailbox> to;
  std::string subject;            // UTF-8
  std::string body;               // the bytes as they are, taken over from the page
  std::string charset = "utf-8";  // the body's charset, as its label says
  bool html = false;
  // A UTF-8 text to send before the body as its text/plain alternative: the message is then
  // multipart/alternative, the text first.
  std::optional<std::string> plain_text;
  MailingList list;  // its List-* headers; none when empty
};

// The message as it goes on the wire, CR LF line ends, 7-bit, no line over 998 characters: Date,
// Message-ID (on the sender's domain when that is a host name), MIME-Version, From, To, Subject
// (see header_value.h), X-Mailer, the list's List-Id, List-Unsubscribe and (with an https
// address) List-Unsubscribe-Post, and one text part in quoted-printable or base64 (see
// body_encoding.h) whose content decodes to the body's bytes exactly. With a plain text, that
// part is the second of a multipart/alternative whose first is the text, with CR LF line ends,
// in UTF-8 and the encoding the same choice gives it.
//
// The headers are made at once; the body is encoded as it is read, a piece at a time, straight
// from the content's bytes, which must outlive the stream. Not copyable.
class MailStream {
 public:
  // Fails with error::kMailNoSender when the content has no sender, or kMailComposeFailed.
  static Result<std::unique_ptr<MailStream>> Open(const MailContent& content);
  ~MailStream();
  MailStream(const MailStream&) = delete;
  MailStream& operator=(const MailStream&) = delete;

  // Copies the next bytes of the message, at most `size`, into `buffer`: how many, 0 at its end,
  // or error::kMailComposeFailed.
  Result<std::size_t> Read(char* buffer, std::size_t size);
  // The whole message's length, as Read gives it: what a server is told before the message.
  // Counted at the first call (a quoted-printable body is encoded once to count it), so that a
  // send that never declares the size never pays for it.
  long long ExpectedSize() const;

 private:
  struct Encoder;
  MailStream(std::string head, std::string_view body, std::string tail,
             std::unique_ptr<Encoder> encoder);
  // Encodes the next piece of the body into pending_; false when the encoder fails.
  bool Refill();

  std::string head_;
  std::string_view body_;  // what is left to encode
  std::string end_;        // what follows the encoded body: its end, the closing boundary
  std::unique_ptr<Encoder> encoder_;
  std::string_view pending_;  // encoded, not yet read
  bool finished_ = false;
  std::string_view whole_body_;
  bool base64_ = false;
  mutable long long expected_size_ = -1;  // -1: not counted yet
};

// The whole message in one string, read from a MailStream.
Result<std::string> ComposeMail(const MailContent& content);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_STREAM_H_
