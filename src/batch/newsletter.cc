#include "batch/newsletter.h"

#include <utility>

#include "base/standard_messages.h"
#include "services/html/absolute_links.h"
#include "services/html/plain_text.h"
#include "settings/ini_keys.h"

namespace webletter {
namespace {

std::string ValueWithDefault(const Settings& settings, std::string_view section, IniKey key) {
  std::string value = settings.GetIniValue(section, key);
  return value.empty() ? settings.GetIniValue(kDefaultSection, key) : value;
}

bool TurnedOn(const std::string& number) { return IniNumber(number) != 0; }

}  // namespace

NewsletterKeys ReadNewsletterKeys(const Settings& settings, std::string_view section) {
  return {.plain_text = ValueWithDefault(settings, section, IniKey::kPlainText),
          .absolute_links = ValueWithDefault(settings, section, IniKey::kAbsoluteLinks),
          .list_unsubscribe = ValueWithDefault(settings, section, IniKey::kListUnsubscribe),
          .list_id = ValueWithDefault(settings, section, IniKey::kListId)};
}

Result<MailingList> NewsletterList(const NewsletterKeys& keys) {
  if (keys.list_id.empty() && keys.list_unsubscribe.empty()) return MailingList{};
  return ParseMailingList(keys.list_id, keys.list_unsubscribe);
}

Result<NewsletterParts> MakeNewsletterParts(const NewsletterKeys& keys, Page page) {
  NewsletterParts parts;
  const bool links = TurnedOn(keys.absolute_links);
  const bool text = TurnedOn(keys.plain_text);
  if (links && text) {
    // One parse gives both, the text with the same absolute links as the page.
    Result<PageAndText> both = MakeLinksAbsoluteWithText(page.bytes, page.charset, page.url);
    if (!both.ok()) return Status(error::kHtmlLinksFailed);
    page.bytes = std::move(both->page);
    parts.text = std::move(both->text);
  } else if (links) {
    Result<std::string> rewritten = MakeLinksAbsolute(page.bytes, page.charset, page.url);
    if (!rewritten.ok()) return Status(error::kHtmlLinksFailed);
    page.bytes = std::move(rewritten).value();
  } else if (text) {
    std::string decoded;
    parts.text = RenderPlainText(page.DecodedText(decoded), page.url);
  }
  parts.page = std::move(page);
  return parts;
}

void WarnAboutNewsletter(const MailingList& list, std::size_t html_bytes,
                         const std::function<void(std::string_view)>& warn,
                         const std::function<void(std::string_view)>& note) {
  if (!list.unsubscribe.empty() && list.id.empty()) {
    warn(
        "ListUnsubscribe is given without ListId: receivers trust a List-Unsubscribe more with a "
        "List-Id beside it");
  }
  if (html_bytes > kClippedHtmlBytes) {
    note("the page is " + std::to_string(html_bytes) +
         " bytes of HTML: large webmail clients clip messages over about 102 KB and show the rest "
         "only behind a link");
  }
}

}  // namespace webletter
