// The mailing list a newsletter goes to, as its List-* headers name it: List-Id (RFC 2919),
// List-Unsubscribe (RFC 2369) and, for an https address, List-Unsubscribe-Post (RFC 8058,
// one-click unsubscribe). The settings give them as text; ParseMailingList checks that text.
#ifndef WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_
#define WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_

#include <cstddef>
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

// The longest unsubscribe address and identifier taken: each header stays within one line of
// 998 characters.
inline constexpr std::size_t kLongestListAddress = 900;
inline constexpr std::size_t kLongestListId = 255;

// The list of ListId (`id_text`, "Our newsletter <news.example.org>", a name in double quotes,
// or just the identifier) and ListUnsubscribe (`unsubscribe_text`, one or two addresses separated
// by a comma, an https: URL with a host and/or a mailto: address with an "@", blanks and a pair
// of angle brackets around each dropped); either may be empty. An address that holds a control
// character, a blank, a byte beyond ASCII or an angle bracket, another scheme, more than one
// address of a scheme or an empty one fails with error::kMailListUnsubscribeInvalid; a ListId
// with a control character, or whose identifier is not labels of letters, digits and "-" joined
// by dots (two labels at least), fails with error::kMailListIdInvalid.
Result<MailingList> ParseMailingList(std::string_view id_text, std::string_view unsubscribe_text);

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_MAILING_LIST_H_
