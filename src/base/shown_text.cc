#include "base/shown_text.h"

#include <algorithm>
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
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    const auto lead = static_cast<unsigned char>(text.front());
    // C1 controls: U+0080 to U+009F in UTF-8, or as raw bytes in text that is not UTF-8.
    const bool c1 = length == 2 ? lead == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F
                                : length == 0 && lead <= 0x9F;
    if (c1 || IsAsciiControl(text.front())) {
      shown += ' ';
    } else {
      shown.append(text.substr(0, std::max<std::size_t>(length, 1)));
    }
    text.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return shown;
}

}  // namespace webletter
