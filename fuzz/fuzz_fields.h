// What every fuzz target shares: the input split into fields at NUL bytes, so that seed files
// stay readable, and a check that stops the run with a message when a property does not hold.
#ifndef WEBLETTER_FUZZ_FUZZ_FIELDS_H_
#define WEBLETTER_FUZZ_FUZZ_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace webletter::fuzz {

// Exactly `count` fields; missing ones are empty and the last one keeps the rest, NULs and all.
inline std::vector<std::string_view> Fields(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  for (std::size_t nul = rest.find('\0'); fields.size() + 1 < count && nul != rest.npos;
       nul = rest.find('\0')) {
    fields.push_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  fields.push_back(rest);
  fields.resize(count);
  return fields;
}

// Aborts with `what` and the text under test, so that libFuzzer keeps the input.
inline void Check(bool holds, const char* what, std::string_view shown = {}) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n%.*s\n", what, static_cast<int>(shown.size()),
               shown.data());
  std::abort();
}

}  // namespace webletter::fuzz

#endif  // WEBLETTER_FUZZ_FUZZ_FIELDS_H_
