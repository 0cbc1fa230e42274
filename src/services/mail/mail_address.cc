#include "services/mail/mail_address.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "services/mail/gmime_support.h"

namespace webletter {
namespace {

constexpr std::size_t kLongestLocalPart = 64;
constexpr std::size_t kLongestAddress = 254;
constexpr std::size_t kLongestLabel = 63;

// Whether `test` holds for every piece of `text` between `separator`s, empty pieces included.
template <typename Test>
bool EveryPiece(std::string_view text, char separator, Test test) {
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    if (!test(text.substr(start, end == std::string_view::npos ? end : end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A punycode label that decodes: GLib decodes even broken ones leniently, so the label must
// come back the same when encoded again.
bool IsValidPunycodeLabel(std::string_view label) {
  const std::string ascii(label);
  const GlibText unicode(g_hostname_to_unicode(ascii.c_str()));
  if (unicode == nullptr) return false;
  const GlibText again(g_hostname_to_ascii(unicode.get()));
  return again != nullptr && AsciiLower(again.get()) == AsciiLower(ascii);
}

// Host-name labels of letters, digits and "-" (not first or last), each 1 to 63 long.
bool IsHostName(std::string_view domain) {
  return EveryPiece(domain, '.', [](std::string_view label) {
    const bool ldh = !label.empty() && label.size() <= kLongestLabel && label.front() != '-' &&
                     label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
                       return IsAsciiLetterOrDigit(c) || c == '-';
                     });
    return ldh && (!AsciiLower(label).starts_with("xn--") || IsValidPunycodeLabel(label));
  });
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]".
bool IsAddressLiteral(std::string_view domain) {
  if (domain.size() < 3 || domain.front() != '[' || domain.back() != ']') return false;
  std::string_view inside = domain.substr(1, domain.size() - 2);
  const bool v6 = AsciiLower(inside.substr(0, 5)) == "ipv6:";
  if (v6) inside.remove_prefix(5);
  const std::string ip(inside);
  const bool has_colon = ip.find(':') != std::string::npos;
  return ip.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos && has_colon == v6 &&
         g_hostname_is_ip_address(ip.c_str());
}

// The domain in ASCII: as given when it is ASCII, else its xn-- form; empty when it has none.
std::string AsciiDomain(std::string_view domain) {
  if (IsAscii(domain)) return std::string(domain);
  if (domain.back() == '.' ||
      !g_utf8_validate(domain.data(), static_cast<gssize>(domain.size()), nullptr)) {
    return {};
  }
  const GlibText ascii(g_hostname_to_ascii(std::string(domain).c_str()));
  return ascii == nullptr ? std::string() : std::string(ascii.get());
}

}  // namespace

bool IsAtom(std::string_view word) {
  return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
    return IsAsciiLetterOrDigit(c) ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
  });
}

Result<MailAddress> MailAddress::Parse(std::string_view address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return Status(error::kMailAddressInvalid);
  const std::string_view local = address.substr(0, at);
  const std::string_view domain = address.substr(at + 1);
  // Dot-atom text holds no "@", so this is the only one. A quoted local part is not taken.
  if (local.size() > kLongestLocalPart || !EveryPiece(local, '.', IsAtom) || domain.empty()) {
    return Status(error::kMailAddressInvalid);
  }
  std::string wire(local);
  wire += '@';
  const bool literal = IsAddressLiteral(domain);
  if (literal) {
    wire += domain;
  } else {
    const std::string ascii = AsciiDomain(domain);
    if (!IsHostName(ascii)) return Status(error::kMailAddressInvalid);
    wire += ascii;
  }
  if (wire.size() > kLongestAddress) return Status(error::kMailAddressInvalid);
  return MailAddress(std::move(wire), literal);
}

std::string_view MailAddress::host_name() const {
  if (literal_) return {};
  return std::string_view(wire_).substr(wire_.rfind('@') + 1);
}

}  // namespace webletter
