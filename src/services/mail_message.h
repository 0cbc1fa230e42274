// One e-mail message and its composition into the bytes that go on the wire, with GMime: the
// headers the program sends, display names and subject encoded as the standards say, and one
// text part that carries the body's bytes unchanged under its own charset label.
#ifndef WEBLETTER_SERVICES_MAIL_MESSAGE_H_
#define WEBLETTER_SERVICES_MAIL_MESSAGE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

struct _GByteArray;  // GLib's byte array, kept out of this header

namespace webletter {

// Bytes in GLib's memory, so that GMime reads and writes them in place instead of copying a
// large page once more. Movable, not copyable.
class MailBytes {
 public:
  MailBytes() = default;
  explicit MailBytes(std::string_view bytes);
  ~MailBytes();
  MailBytes(MailBytes&& other) noexcept;
  MailBytes& operator=(MailBytes&& other) noexcept;
  MailBytes(const MailBytes&) = delete;
  MailBytes& operator=(const MailBytes&) = delete;

  std::string_view view() const;
  std::size_t size() const { return view().size(); }
  bool empty() const { return size() == 0; }
  // The array itself, created empty on first use, for GMime's streams.
  _GByteArray* array() const;

 private:
  mutable _GByteArray* array_ = nullptr;
};

struct MailAddress {
  std::string address;  // "user@example.org", as the caller gave it
  std::string name;     // display name, UTF-8; may be empty
};

struct MailContent {
  MailAddress from;
  std::vector<MailAddress> to;
  std::string subject;  // UTF-8
  MailBytes body;
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
// encoded words, so that readers see exactly that text and no value can add a header. Fails with
// error::kMailAddressInvalid or error::kMailComposeFailed.
Result<MailBytes> ComposeMail(const MailContent& content);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MESSAGE_H_
