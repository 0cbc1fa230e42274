#include "services/fetch/utf8.h"

#include <cstdint>
#include <cstring>

#include "base/ascii.h"

namespace webletter {

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    // Runs of ASCII are the common case: thirty-two bytes at a time, then eight.
    std::uint64_t words[4];
    while (text.size() >= sizeof words &&
           (std::memcpy(words, text.data(), sizeof words),
            ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080u) == 0)) {
      text.remove_prefix(sizeof words);
    }
    while (text.size() >= sizeof words[0] && (std::memcpy(words, text.data(), sizeof words[0]),
                                              (words[0] & 0x8080808080808080u) == 0)) {
      text.remove_prefix(sizeof words[0]);
    }
    if (text.empty()) break;
    if (static_cast<unsigned char>(text.front()) < 0x80) {
      text.remove_prefix(1);
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

// Well-formed runs are copied whole, not byte by byte.
std::string RepairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t run = 0;  // where the valid bytes not yet copied start
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length =
        static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : Utf8SequenceLength(bytes.substr(i));
    if (length != 0) {
      i += length;
      continue;
    }
    out.append(bytes.substr(run, i - run));
    out += kReplacementCharacter;
    run = ++i;
  }
  out.append(bytes.substr(run));
  return out;
}

}  // namespace webletter
