#include "services/mail/mailing_list.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/standard_messages.h"

namespace webletter {
namespace {

constexpr std::string_view kHttps = "https:";
constexpr std::string_view kMailto = "mailto:";

// Printable ASCII only: a header value stays 7-bit and on its line.
bool IsPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

// An https URL with a host, or a mailto address with an "@"; printable ASCII without angle
// brackets, short enough for its header line.
bool IsUnsubscribeAddress(std::string_view address) {
  if (address.size() > kLongestListAddress || !IsPrintableAscii(address) ||
      address.find_first_of("<>") != std::string_view::npos) {
    return false;
  }
  if (StartsWithIgnoringAsciiCase(address, kHttps)) {
    const std::string_view rest = address.substr(kHttps.size());
    return rest.starts_with("//") && rest.size() > 2 &&
           (IsAsciiLetterOrDigit(rest[2]) || rest[2] == '[');
  }
  if (StartsWithIgnoringAsciiCase(address, kMailto)) {
    const std::size_t at = address.find('@');
    return at != std::string_view::npos && at > kMailto.size() && at + 1 < address.size();
  }
  return false;
}

Result<std::vector<std::string>> ParseUnsubscribe(std::string_view text) {
  std::vector<std::string> addresses;
  if (TrimAsciiSpace(text).empty()) return addresses;
  const Status invalid(error::kMailListUnsubscribeInvalid);
  bool https = false;
  bool mailto = false;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view address = TrimAsciiSpace(text.substr(start, end - start));
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
      address = address.substr(1, address.size() - 2);
    }
    if (!IsUnsubscribeAddress(address)) return invalid;
    bool& seen = StartsWithIgnoringAsciiCase(address, kHttps) ? https : mailto;
    if (seen) return invalid;
    seen = true;
    addresses.emplace_back(address);
    start = end + 1;
  }
  return addresses;
}

bool IsListIdentifier(std::string_view id) {
  if (id.size() > kLongestListId || id.find('.') == std::string_view::npos) return false;
  for (std::size_t start = 0; start <= id.size();) {
    std::size_t end = id.find('.', start);
    if (end == std::string_view::npos) end = id.size();
    const std::string_view label = id.substr(start, end - start);
    if (label.empty() || !std::all_of(label.begin(), label.end(),
                                      [](char c) { return IsAsciiLetterOrDigit(c) || c == '-'; })) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// Fills the list's name and identifier from "Name <identifier>", "<identifier>" or
// "identifier"; a name in double quotes loses them.
Status ParseListId(std::string_view text, MailingList& list) {
  text = TrimAsciiSpace(text);
  if (text.empty()) return Status::Ok();
  const Status invalid(error::kMailListIdInvalid);
  if (HasAsciiControl(text)) return invalid;
  std::string_view id = text;
  std::string_view name;
  if (const std::size_t open = text.rfind('<'); open != std::string_view::npos) {
    if (text.back() != '>') return invalid;
    id = text.substr(open + 1, text.size() - open - 2);
    name = TrimAsciiSpace(text.substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      name = name.substr(1, name.size() - 2);
    }
    if (name.find_first_of("<>") != std::string_view::npos) return invalid;
  }
  if (!IsListIdentifier(id)) return invalid;
  list.id = id;
  list.id_name = name;
  return Status::Ok();
}

}  // namespace

bool MailingList::one_click() const {
  return std::any_of(unsubscribe.begin(), unsubscribe.end(), [](const std::string& address) {
    return StartsWithIgnoringAsciiCase(address, kHttps);
  });
}

Result<MailingList> ParseMailingList(std::string_view id_text, std::string_view unsubscribe_text) {
  MailingList list;
  Result<std::vector<std::string>> unsubscribe = ParseUnsubscribe(unsubscribe_text);
  if (!unsubscribe.ok()) return unsubscribe.status();
  list.unsubscribe = std::move(unsubscribe).value();
  if (Status id = ParseListId(id_text, list); !id.ok()) return id;
  return list;
}

}  // namespace webletter
