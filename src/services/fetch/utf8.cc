#include "services/fetch/utf8.h"

#include <cstdint>
#include <cstring>

namespace webletter {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

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
