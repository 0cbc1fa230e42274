// The parts of a newsletter beyond the page itself, from a section's opt-in keys: PlainText (a
// text/plain rendering of the page sent with it), AbsoluteLinks (the page's relative references
// made absolute), ListUnsubscribe and ListId (the List-* headers). Each key falls back to
// section Default like the others; none makes a section count as found. Without them a message
// is what it always was.
#ifndef WEBLETTER_BATCH_NEWSLETTER_H_
#define WEBLETTER_BATCH_NEWSLETTER_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "services/fetch/page.h"
#include "services/mail/mailing_list.h"
#include "settings/settings.h"

namespace webletter {

// Where large webmail clients cut a message's HTML and hide the rest behind a link.
inline constexpr std::size_t kClippedHtmlBytes = 102'000;

struct NewsletterKeys {
  std::string plain_text;  // numbers, read as CheckContent is: anything but 0 turns them on
  std::string absolute_links;
  std::string list_unsubscribe;
  std::string list_id;
};

// The keys of `section`, each from Default where the section leaves it empty.
NewsletterKeys ReadNewsletterKeys(const Settings& settings, std::string_view section);

// The mailing list the keys name; empty without ListUnsubscribe and ListId. Fails with the
// standard message of a value that is not one (see ParseMailingList).
Result<MailingList> NewsletterList(const NewsletterKeys& keys);

// What goes into the mail: the page (its links made absolute when AbsoluteLinks asks for it)
// and, when PlainText asks for it, its text, both from the page's final address. Fails with
// error::kHtmlLinksFailed when the links cannot be rewritten.
struct NewsletterParts {
  Page page;
  std::optional<std::string> text;
};
Result<NewsletterParts> MakeNewsletterParts(const NewsletterKeys& keys, Page page);

// The warnings a sender should see: a ListUnsubscribe without a ListId (receivers score it),
// through `warn`; and HTML larger than large webmail clients show whole, through `note`. The
// second is no fault of the settings and may hold for every run, so it goes where the run's
// record goes (the log), not to a scheduler's mail.
void WarnAboutNewsletter(const MailingList& list, std::size_t html_bytes,
                         const std::function<void(std::string_view)>& warn,
                         const std::function<void(std::string_view)>& note);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_NEWSLETTER_H_
