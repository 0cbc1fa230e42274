// One e-mail message and its composition into the bytes that go on the wire, with GMime: the
// headers the program sends, display names and subject encoded as the standards say, and one
// text part that carries the body's bytes unchanged under its own charset label.
#ifndef WEBLETTER_SERVICES_MAIL_MAIL_MESSAGE_H_
#define WEBLETTER_SERVICES_MAIL_MAIL_MESSAGE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace webletter {

struct MailAddress {
  std::string address;  // "user@example.org", as the caller gave it
  std::string name;     // display name, UTF-8; may be empty
};

struct MailContent {
  MailAddress from;
  std::vector<MailAddress> to;
  std::string subject;            // UTF-8
  std::string body;               // the bytes as they are, taken over from the page
  std::string charset = "utf-8";  // the body's charset, as its label says
  bool html = false;
};

// The address as the envelope and the headers carry it: exactly one "local@domain", the local
// part dot-atom ASCII text of at most 64 characters, the domain host-name labels (letters, digits,
// "-") or an address literal in brackets, at most 254 characters in all. A domain with non-ASCII
// letters comes back in its ASCII (xn--) form; anything else comes back as given. Fails with
// error::kMailAddressInvalid.
Result<std::string> WireMailAddress(std::string_view address);

// The message as it goes on the wire, CR LF line ends, 7-bit, no line over 998 characters: Date,
// Message-ID, MIME-Version, From, To, Subject, X-Mailer and one text part in quoted-printable or
// base64 whose content decodes to the body's bytes exactly. The addresses go in their
// WireMailAddress form. In the subject and the names, invalid UTF-8 becomes U+FFFD and control
// characters (line breaks among them) become blanks; what is not plain ASCII text becomes
// encoded words, so that readers see exactly that text and no value can add a header.
//
// The headers are made at once; the body is encoded as it is read, a piece at a time, straight
// from the content's bytes, which must outlive the stream. Not copyable.
class MailStream {
 public:
  // Fails with error::kMailAddressInvalid or error::kMailComposeFailed.
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

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_MESSAGE_H_
