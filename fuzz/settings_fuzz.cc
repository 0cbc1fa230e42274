// The settings file's text: a piecewise read finds what a whole read finds; only a key that
// cannot read back is refused; a written key reads back as given (line breaks as blanks, whole),
// writing it again changes nothing, and other keys keep their values.
//
// Input fields (NUL-separated): section, key, value, another section and key, read piece sizes,
// the file's text.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "fuzz_fields.h"
#include "settings/ini_text.h"

namespace {

// A name as reader and writer take it: line breaks as blanks, no blanks around it, lower case.
std::string Canonical(std::string_view name) {
  std::string out;
  for (const char c : name) {
    out += (c == '\r' || c == '\n') ? ' ' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  out.erase(0, std::min(out.find_first_not_of(" \t"), out.size()));
  return out.erase(out.find_last_not_of(" \t") + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using webletter::fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 7);
  const std::string_view section = fields[0], key = fields[1], value = fields[2], text = fields[6];
  const std::string found = ini_text::FindValue(text, section, key);

  ini_text::ValueFinder finder(section, key);
  for (std::size_t at = 0, turn = 0, piece = 1; at < text.size(); at += piece, ++turn) {
    if (!fields[5].empty()) piece = (fields[5][turn % fields[5].size()] & 63) + 1;
    if (finder.Take(text.substr(at, piece))) break;
  }
  Check(finder.Finish() == found, "a piecewise read finds what a whole read finds", found);

  const std::optional<std::string> written = ini_text::WithValue(text, section, key, value);
  const std::string name = Canonical(key);
  Check(written.has_value() ==
            (!name.empty() && name.find('=') == name.npos && name[0] != '[' && name[0] != ';'),
        "only an empty key, one holding \"=\" or one starting with \"[\" or \";\" is refused");
  if (!written) return 0;
  std::string line(value);
  for (char& c : line) c = (c == '\r' || c == '\n') ? ' ' : c;
  Check(ini_text::FindValue(*written, section, key) == line, "a written key reads back", *written);
  Check(ini_text::WithValue(*written, section, key, value) == written,
        "writing the same value again changes nothing", *written);
  for (const auto& [other_section, other_key] :
       {std::pair{section, fields[4]}, std::pair{fields[3], key},
        std::pair{fields[3], fields[4]}}) {
    if (Canonical(other_section) == Canonical(section) && Canonical(other_key) == name) continue;
    // Names beyond ASCII fold by Unicode's rules, which Canonical does not repeat.
    const auto ascii = [](std::string_view s) {
      return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    };
    if (!ascii(other_section) || !ascii(other_key) || !ascii(section) || !ascii(key)) continue;
    Check(ini_text::FindValue(*written, other_section, other_key) ==
              ini_text::FindValue(text, other_section, other_key),
          "other keys keep their values", *written);
  }
  return 0;
}
