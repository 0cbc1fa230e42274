// The fuzz targets' input layout: fields separated by NUL bytes, so that seed files stay
// readable and each field can hold any other byte. Missing fields read as empty.
#ifndef WEBLETTER_FUZZ_FUZZ_FIELDS_H_
#define WEBLETTER_FUZZ_FUZZ_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace webletter::fuzz {

class Fields {
 public:
  Fields(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (;;) {
      const std::size_t nul = rest.find('\0');
      fields_.push_back(rest.substr(0, nul));
      if (nul == std::string_view::npos) break;
      rest.remove_prefix(nul + 1);
    }
  }

  std::string_view operator[](std::size_t index) const {
    return index < fields_.size() ? fields_[index] : std::string_view();
  }
  std::size_t size() const { return fields_.size(); }

 private:
  std::vector<std::string_view> fields_;
};

// What a failed check shows besides its own text, such as the output under test.
inline std::string& FailureContext() {
  static std::string context;
  return context;
}

// Stops the run with a message when a property does not hold; libFuzzer keeps the input.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  if (!FailureContext().empty()) {
    std::fprintf(stderr, "-- output under test --\n%s\n-- end --\n", FailureContext().c_str());
  }
  std::abort();
}

}  // namespace webletter::fuzz

#endif  // WEBLETTER_FUZZ_FUZZ_FIELDS_H_
