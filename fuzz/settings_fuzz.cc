// The settings file's reader and writer take any bytes: nothing crashes, a piecewise read finds
// what a whole read finds, a written key reads back as stored (line breaks as blanks, cut to
// 254 characters), writing it again changes nothing, and every other key keeps its value.
//
// Input fields (NUL-separated): file text, section, key, value, read piece sizes, and a flag
// that also runs the write and read through a real file.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_fields.h"
#include "settings/ini_text.h"
#include "settings/settings.h"

namespace webletter::fuzz {
namespace {

constexpr std::size_t kMaxNames = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string WithoutLineBreaks(std::string_view text) {
  std::string out(text);
  std::replace_if(
      out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return out;
}

// A name as the reader and writer treat a requested one.
std::string CleanName(std::string_view name) { return std::string(Trim(WithoutLineBreaks(name))); }

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsWritableKey(std::string_view key) {
  return !key.empty() && key.find('=') == std::string_view::npos && key.front() != '[' &&
         key.front() != ';';
}

struct Names {
  std::vector<std::string> sections;
  std::vector<std::string> keys;
};

// The section and key names that the file's lines hold, a few of each.
Names NamesIn(std::string_view text) {
  Names names;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos && names.sections.size() < kMaxNames) {
        names.sections.emplace_back(Trim(line.substr(1, close - 1)));
      }
    } else if (const std::size_t equals = line.find('=');
               equals != std::string_view::npos && names.keys.size() < kMaxNames) {
      names.keys.emplace_back(Trim(line.substr(0, equals)));
    }
  }
  return names;
}

// The value read with the bytes handed over in pieces of the given sizes.
std::string FindPiecewise(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view sizes) {
  ini_text::ValueFinder finder(section, key);
  std::size_t turn = 0;
  while (!text.empty()) {
    const std::size_t size =
        sizes.empty() ? 1 : static_cast<unsigned char>(sizes[turn++ % sizes.size()]) % 64 + 1;
    const std::string_view piece = text.substr(0, size);
    text.remove_prefix(piece.size());
    if (finder.Take(piece)) break;
  }
  return finder.Finish();
}

// A settings file in a folder of its own, removed again when the run ends.
class TempFile {
 public:
  TempFile() {
    char folder[] = "/tmp/webletter-fuzz-XXXXXX";
    Check(mkdtemp(folder) != nullptr, "cannot make a temporary folder");
    folder_ = folder;
    path_ = folder_ + "/webletter.ini";
  }
  ~TempFile() {
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckFile(std::string_view text, std::string_view section, std::string_view key,
               std::string_view value, const std::optional<std::string>& written,
               const std::string& expected) {
  static const TempFile file;
  const std::string& path = file.path();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), text.size());
  const Settings settings(path);
  Check(settings.GetIniValue(section, key) == ini_text::FindValue(text, section, key),
        "the file reads as its text");
  settings.WriteIniValue(section, key, value);
  const std::string after = ReadFile(path);
  Check(after == written.value_or(std::string(text)), "the file holds the written text");
  if (written) Check(settings.GetIniValue(section, key) == expected, "the file reads back");
  unlink(path.c_str());
}

}  // namespace
}  // namespace webletter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using namespace webletter::fuzz;
  const Fields fields(data, size);
  const std::string_view text = fields[0];
  const std::string_view section = fields[1];
  const std::string_view key = fields[2];
  const std::string_view value = fields[3];

  const std::string found = ini_text::FindValue(text, section, key);
  Check(found == FindPiecewise(text, section, key, fields[4]), "a piecewise read agrees");

  const std::string clean_value = WithoutLineBreaks(value);
  const std::string expected(ini_text::CutToCharacters(clean_value, ini_text::kMaxValueCharacters));
  Check(std::string_view(clean_value).starts_with(expected), "a cut value is a prefix");

  const std::optional<std::string> written = ini_text::WithValue(text, section, key, value);
  const std::string clean_section = CleanName(section);
  const std::string clean_key = CleanName(key);
  Check(written.has_value() == IsWritableKey(clean_key), "only unwritable keys are refused");
  if (written) {
    Check(ini_text::FindValue(*written, section, key) == expected, "a written key reads back");
    Check(ini_text::WithValue(*written, section, key, value) == written,
          "writing the same value again changes nothing");

    Names names = NamesIn(text);
    names.sections.push_back(clean_section);
    names.keys.push_back(clean_key);
    for (const std::string& other_section : names.sections) {
      for (const std::string& other_key : names.keys) {
        if (SameName(other_section, clean_section) && SameName(other_key, clean_key)) continue;
        Check(ini_text::FindValue(*written, other_section, other_key) ==
                  ini_text::FindValue(text, other_section, other_key),
              "every other key keeps its value");
      }
    }
  }

  const std::string_view flags = fields[5];
  if (!flags.empty() && (flags.front() & 1) != 0) {
    CheckFile(text, section, key, value, written, expected);
  }
  return 0;
}
