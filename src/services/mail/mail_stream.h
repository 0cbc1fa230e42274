// One e-mail message and its composition, with GMime, into the bytes that go on the wire: the
// headers the program sends and one text part that carries the body's bytes unchanged under
// their own charset label.
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
};

// The message as it goes on the wire, CR LF line ends, 7-bit, no line over 998 characters: Date,
// Message-ID (on the sender's domain when that is a host name), MIME-Version, From, To, Subject
// (see header_value.h), X-Mailer and one text part in quoted-printable or base64 (see
// body_encoding.h) whose content decodes to the body's bytes exactly.
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
  // The whole message's length where it is known before the body is encoded (base64), else -1.
  long long ExpectedSize() const { return expected_size_; }

 private:
  struct Encoder;
  MailStream(std::string head, std::string_view body, std::unique_ptr<Encoder> encoder);
  // Encodes the next piece of the body into pending_; false when the encoder fails.
  bool Refill();

  std::string head_;
  std::string_view body_;  // what is left to encode
  std::string_view end_;   // what follows the encoded body
  std::unique_ptr<Encoder> encoder_;
  std::string_view pending_;  // encoded, not yet read
  bool finished_ = false;
  long long expected_size_ = -1;
};

// The whole message in one string, read from a MailStream.
Result<std::string> ComposeMail(const MailContent& content);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_STREAM_H_
