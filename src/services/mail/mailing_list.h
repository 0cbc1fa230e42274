// The mailing list a newsletter goes to, as its List-* headers name it: List-Id (RFC 2919),
// List-Unsubscribe (RFC 2369) and, for an https address, List-Unsubscribe-Post (RFC 8058,
// one-click unsubscribe). The settings give them as text; ParseMailingList checks that text.
#ifndef WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_
#define WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace webletter {

struct MailingList {
  std::string id_name;                   // the phrase before the identifier, UTF-8; may be empty
  std::string id;                        // "news.example.org"; empty: no List-Id
  std::vector<std::string> unsubscribe;  // "https://..." and/or "mailto:...", at most one each

  bool empty() const { return id.empty() && unsubscribe.empty(); }
  bool one_click() const;  // an https address is among the unsubscribe addresses
};

// The list of ListId (`id_text`, "Our newsletter <news.example.org>" or just the identifier) and
// ListUnsubscribe (`unsubscribe_text`, one or two addresses separated by a comma, an https: URL
// and/or a mailto: address, blanks around them dropped); either may be empty. A value with a
// control character, angle brackets inside an address, another scheme or more than one address
// of a scheme fails with error::kMailListUnsubscribeInvalid; an identifier that is not labels of
// letters, digits and "-" joined by dots (two labels at least) fails with
// error::kMailListIdInvalid.
Result<MailingList> ParseMailingList(std::string_view id_text, std::string_view unsubscribe_text);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_
