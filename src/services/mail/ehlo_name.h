// The name the client gives itself in EHLO. Strict servers refuse a bare single label, so the
// name is the first fully qualified one that this machine or the sender offers, else the local
// address as an address literal.
#ifndef WEBLETTER_SERVICES_MAIL_EHLO_NAME_H_
#define WEBLETTER_SERVICES_MAIL_EHLO_NAME_H_

#include <functional>
#include <string>
#include <string_view>

#include "services/mail/smtp_endpoint.h"

namespace webletter {

// Where the EHLO name can come from. The lookups run only when the sources before them gave no
// fully qualified name.
struct EhloSources {
  std::string host_name;                        // this machine's host name
  std::function<std::string()> canonical_name;  // the resolver's canonical name of host_name
  std::string sender_domain;                    // the envelope sender's host name, or ""
  std::function<std::string()> local_address;   // the local end's IPv4 or IPv6 address, or ""
};

// The first fully qualified name (letters, digits, "-" and ".", with a dot between labels) of
// the host name, its canonical name and the sender's domain; else the local address as a literal
// ("[127.0.0.1]", "[IPv6:::1]"), "[127.0.0.1]" when that is unknown.
std::string ChooseEhloName(const EhloSources& sources);

// The local address that a connection to `endpoint` would leave from ("192.0.2.7", "::1"), found
// without connecting; "" when it cannot be told.
std::string LocalAddressTowards(const SmtpEndpoint& endpoint);

// ChooseEhloName with this machine's names, and the local address that a connection to
// `endpoint` would leave from.
std::string EhloNameTowards(const SmtpEndpoint& endpoint, std::string_view sender_domain);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_EHLO_NAME_H_
