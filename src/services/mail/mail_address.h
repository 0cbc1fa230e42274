// One e-mail address, checked once where the user's text comes in and carried from there to the
// headers and the envelope as a value that only its parser makes: exactly one "local@domain",
// the local part dot-atom ASCII text of at most 64 characters, the domain host-name labels
// (letters, digits, "-", an xn-- label only when it decodes) or an address literal in brackets
// ("[192.0.2.1]", "[IPv6:2001:db8::1]"), at most 254 characters in all. A domain with non-ASCII
// letters is kept in its ASCII (xn--) form; anything else as given. Nothing that passes holds a
// blank, a control character, "<", ">" or a second "@", so the envelope can carry it as it is.
#ifndef WEBLETTER_SERVICES_MAIL_MAIL_ADDRESS_H_
#define WEBLETTER_SERVICES_MAIL_MAIL_ADDRESS_H_

#include <string>
#include <string_view>

#include "base/status.h"

namespace webletter {

class MailAddress {
 public:
  // Fails with error::kMailAddressInvalid.
  static Result<MailAddress> Parse(std::string_view address);

  // "local@domain" as the envelope and the headers carry it.
  const std::string& wire() const { return wire_; }
  // The domain when it is a host name; empty for an address literal.
  std::string_view host_name() const;

 private:
  friend class Result<MailAddress>;  // which holds an empty one beside a failure
  MailAddress() = default;
  MailAddress(std::string wire, bool literal) : wire_(std::move(wire)), literal_(literal) {}

  std::string wire_;
  bool literal_ = false;
};

// An address of a header with its display name (UTF-8; may be empty).
struct Mailbox {
  MailAddress address;
  std::string name;
};

// RFC 5322's atom: one or more of its "atext" characters, which a display name may hold bare.
bool IsAtom(std::string_view word);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAIL_ADDRESS_H_
