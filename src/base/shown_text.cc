#include "base/shown_text.h"

#include <vector>

#include "base/ascii.h"

namespace webletter {
namespace {

constexpr std::string_view kSchemeEnd = "://";

// Where each authority ("user:password@host:port") may begin: after every "://", and at the
// start of an address that has no scheme of its own.
std::vector<std::size_t> AuthorityStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  if (!StartsWithUrlScheme(text)) starts.push_back(0);
  for (std::size_t at = text.find(kSchemeEnd); at != std::string_view::npos;
       at = text.find(kSchemeEnd, at + kSchemeEnd.size())) {
    starts.push_back(at + kSchemeEnd.size());
  }
  return starts;
}

}  // namespace

std::string MaskPassword(std::string_view address) {
  std::string masked(address);
  // From the last authority to the first, so that earlier positions stay valid.
  const std::vector<std::size_t> starts = AuthorityStarts(address);
  for (auto start = starts.rbegin(); start != starts.rend(); ++start) {
    const std::string_view rest = std::string_view(masked).substr(*start);
    // The user name holds no "/", "?", "#" or ":"; the password may hold any of them, raw "@"
    // included, since people write them unencoded: it runs to the last "@" before the host.
    const std::size_t colon = rest.find_first_of(":/?#");
    if (colon == std::string_view::npos || rest[colon] != ':') continue;
    if (rest.substr(colon).starts_with(kSchemeEnd))
      continue;  // a scheme: its own authority follows
    const std::size_t first_at = rest.find('@', colon);
    if (first_at == std::string_view::npos) continue;
    const std::size_t at = rest.substr(0, rest.find_first_of("/?#", first_at)).rfind('@');
    if (colon + 1 == at) continue;
    masked.replace(*start + colon + 1, at - colon - 1, kMask);
  }
  return masked;
}

std::string ShownSafely(std::string_view text) {
  std::string shown(text);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto byte = static_cast<unsigned char>(shown[i]);
    const auto next = i + 1 < shown.size() ? static_cast<unsigned char>(shown[i + 1]) : 0;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F in UTF-8
      shown.replace(i, 2, " ");
    } else if (IsAsciiControl(shown[i])) {
      shown[i] = ' ';
    }
  }
  return shown;
}

}  // namespace webletter
