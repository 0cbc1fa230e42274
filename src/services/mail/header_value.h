// The values of the headers that carry the user's own text, Subject, From, To and the List-*
// headers, as they follow "Name:" on the wire. GMime places these headers, but their values are
// written here, as GMime 3.2 mis-encodes text holding "=?" and can leave lines over 998 characters.
//
// In the subject and the names (of senders, recipients and lists), invalid UTF-8 becomes U+FFFD and
// control characters (line breaks among them) become blanks; what is not plain ASCII text becomes
// RFC 2047 encoded words of whole UTF-8 characters, in Q or B, whichever is shorter, so that
// readers see exactly that text and no value can add a header. Lines are folded at blanks to stay
// within 76 columns. Each value ends with the line break that GMime's raw header values end with.
#ifndef WEBLETTER_SERVICES_MAIL_HEADER_VALUE_H_
#define WEBLETTER_SERVICES_MAIL_HEADER_VALUE_H_

#include <string>
#include <string_view>
#include <vector>

#include "services/mail/mail_address.h"

namespace webletter {

std::string SubjectValue(std::string_view subject);

// The mailboxes of header `name`: "name <address>", or the bare address where the name is blank,
// comma-separated; a name as atoms, a quoted string or encoded words.
std::string MailboxListValue(std::string_view name, const std::vector<Mailbox>& mailboxes);

// "phrase <identifier>", the phrase as a display name is written, or "<identifier>" when the
// name is blank; the identifier as it is (see mailing_list.h).
std::string ListIdValue(std::string_view list_name, std::string_view id);

// "<address>, <address>": the addresses as they are (see mailing_list.h).
std::string ListUnsubscribeValue(const std::vector<std::string>& addresses);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_HEADER_VALUE_H_
