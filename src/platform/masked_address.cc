#include "platform/masked_address.h"

#include <vector>

namespace webletter {
namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr std::string_view kMask = "***";

bool IsSchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

bool StartsWithScheme(std::string_view text) {
  const std::size_t end = text.find(kSchemeEnd);
  if (end == std::string_view::npos || end == 0) return false;
  for (const char c : text.substr(0, end)) {
    if (!IsSchemeCharacter(c)) return false;
  }
  return true;
}

// Where each authority ("user:password@host:port") may begin: after every "://", and at the
// start of an address that has no scheme of its own.
std::vector<std::size_t> AuthorityStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  if (!StartsWithScheme(text)) starts.push_back(0);
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
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    // The last "@" ends the user part: a password holding a raw "@" is masked whole.
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos) continue;
    const std::size_t colon = authority.substr(0, at).find(':');
    if (colon == std::string_view::npos || colon + 1 == at) continue;
    masked.replace(*start + colon + 1, at - colon - 1, kMask);
  }
  return masked;
}

}  // namespace webletter
