#include "settings/ini_text.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "base/ascii.h"

namespace webletter::ini_text {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kNone = std::string_view::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  std::size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// `text` folded by Unicode's case folding ("CAFÉ" and "café" alike), or nullopt when it is not
// valid UTF-8.
std::optional<std::string> CaseFolded(std::string_view text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::nullopt;
  }
  const std::unique_ptr<gchar, decltype(&g_free)> folded(
      g_utf8_casefold(text.data(), static_cast<gssize>(text.size())), &g_free);
  return std::string(folded.get());
}

// Names match without regard to case, for every letter where both are UTF-8, else for A to Z.
bool SameName(std::string_view a, std::string_view b) {
  const bool same_ascii = EqualsIgnoringAsciiCase(a, b);
  if (same_ascii || (IsAscii(a) && IsAscii(b))) return same_ascii;
  const std::optional<std::string> folded_a = CaseFolded(a);
  return folded_a && folded_a == CaseFolded(b);
}

// Line breaks become blanks, surrounding blanks are dropped.
std::string CleanName(std::string_view name) {
  std::string clean(name);
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return std::string(Trim(clean));
}

// The name of a section line (`line` starts with "["), or nothing when it never closes.
std::optional<std::string_view> SectionName(std::string_view line) {
  std::size_t close = line.rfind(']');
  if (close == kNone) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view name;
  std::string_view value;  // untrimmed: everything after the "="
};

std::optional<KeyLine> SplitKeyLine(std::string_view line) {
  std::size_t equals = line.find('=');
  if (equals == kNone) return std::nullopt;
  return KeyLine{Trim(line.substr(0, equals)), line.substr(equals + 1)};
}

std::string ReadValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// How the value is written so that ReadValue gives it back.
std::string ValueText(std::string_view value) {
  std::string text(value);
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  bool quote = !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) ||
                                 (text.size() >= 2 && text.front() == '"' && text.back() == '"'));
  return quote ? '"' + text + '"' : text;
}

bool IsWritableKey(std::string_view key) {
  return !key.empty() && key.find('=') == kNone && key.front() != '[' && key.front() != ';';
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::size_t FindLineBreak(std::string_view text, std::size_t from) {
  return text.find_first_of("\r\n", from);
}

// The file's own line break: its first one, or LF when it has none.
std::string_view LineBreakOf(std::string_view text) {
  std::size_t at = FindLineBreak(text, 0);
  if (at == kNone || text[at] == '\n') return "\n";
  return text.substr(at + 1, 1) == "\n" ? "\r\n" : "\r";
}

struct LineSpan {
  std::size_t begin;  // first byte of the line
  std::size_t end;    // its line break, or the end of the text
  std::size_t next;   // the next line's first byte
};

LineSpan LineAt(std::string_view text, std::size_t begin) {
  std::size_t end = FindLineBreak(text, begin);
  if (end == kNone) return {begin, text.size(), text.size()};
  std::size_t next = end + 1;
  if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
  return {begin, end, next};
}

}  // namespace

ValueFinder::ValueFinder(std::string_view section, std::string_view key)
    : section_(CleanName(section)), key_(CleanName(key)), done_(key_.empty()) {}

bool ValueFinder::Take(std::string_view bytes) {
  std::size_t pos = 0;
  std::size_t next_lf = bytes.find('\n');
  while (!done_ && pos < bytes.size()) {
    // Lines mostly end in LF: look for CR only up to the next LF.
    if (next_lf != kNone && next_lf < pos) next_lf = bytes.find('\n', pos);
    std::size_t limit = next_lf == kNone ? bytes.size() : next_lf;
    const void* cr = std::memchr(bytes.data() + pos, '\r', limit - pos);
    std::size_t stop = cr != nullptr
                           ? static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data())
                           : next_lf;
    if (stop == kNone) {
      pending_.append(bytes.substr(pos));
      break;
    }
    std::string_view line = bytes.substr(pos, stop - pos);
    if (pending_.empty()) {
      TakeLine(line);
    } else {
      pending_.append(line);
      TakeLine(pending_);
      pending_.clear();
    }
    pos = stop + 1;
  }
  return done_;
}

std::string ValueFinder::Finish() {
  if (!done_ && !pending_.empty()) TakeLine(pending_);
  pending_.clear();
  done_ = true;
  return value_;
}

void ValueFinder::TakeLine(std::string_view line) {
  if (first_line_) {
    first_line_ = false;
    if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
  }
  std::string_view rest = TrimLeft(line);
  if (rest.empty() || rest.front() == ';') return;
  if (rest.front() == '[') {
    if (in_section_) {
      done_ = true;  // only the first matching section counts
      return;
    }
    std::optional<std::string_view> name = SectionName(rest);
    in_section_ = name.has_value() && SameName(*name, section_);
    return;
  }
  if (!in_section_) return;
  std::optional<KeyLine> key_line = SplitKeyLine(rest);
  if (key_line.has_value() && SameName(key_line->name, key_)) {
    value_ = ReadValue(key_line->value);
    done_ = true;
  }
}

std::string FindValue(std::string_view text, std::string_view section, std::string_view key) {
  ValueFinder finder(section, key);
  finder.Take(text);
  return finder.Finish();
}

std::optional<std::string> WithValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value) {
  std::string section_name = CleanName(section);
  std::string key_name = CleanName(key);
  if (!IsWritableKey(key_name)) return std::nullopt;
  std::string value_text = ValueText(value);
  std::string_view line_break = LineBreakOf(text);

  bool in_section = false;
  std::size_t insert_at = kNone;  // after the section's last line that is not blank or comment
  for (std::size_t pos = 0; pos < text.size();) {
    LineSpan span = LineAt(text, pos);
    std::string_view line = text.substr(span.begin, span.end - span.begin);
    if (pos == 0 && line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    pos = span.next;
    std::string_view rest = TrimLeft(line);
    if (rest.empty() || rest.front() == ';') continue;
    if (rest.front() == '[') {
      if (in_section) break;
      std::optional<std::string_view> name = SectionName(rest);
      in_section = name.has_value() && SameName(*name, section_name);
      if (in_section) insert_at = span.end;
      continue;
    }
    if (!in_section) continue;
    insert_at = span.end;
    std::optional<KeyLine> key_line = SplitKeyLine(rest);
    if (key_line.has_value() && SameName(key_line->name, key_name)) {
      std::string_view kept_value = TrimLeft(key_line->value);
      std::size_t value_start = static_cast<std::size_t>(kept_value.data() - text.data());
      std::string out(text.substr(0, value_start));
      out += value_text;
      out += text.substr(span.end);
      return out;
    }
  }

  std::string key_line_text = key_name + '=' + value_text;
  if (insert_at != kNone) {
    std::string out(text.substr(0, insert_at));
    out += line_break;
    out += key_line_text;
    out += text.substr(insert_at);
    return out;
  }
  std::string out(text);
  if (!out.empty() && !IsLineBreak(out.back())) out += line_break;
  out += '[' + section_name + ']';
  out += line_break;
  out += key_line_text;
  out += line_break;
  return out;
}

}  // namespace webletter::ini_text
