// The settings file's text layout, as pure functions over its bytes: finding one value and
// producing the file's new text with one value stored. No file access happens here.
//
// The layout:
// - Lines end in CR LF, LF or a lone CR. A UTF-8 byte order mark before the first line is ignored.
// - Blanks are spaces and tabs. A line that is empty or all blanks is blank; a line whose first
//   non-blank byte is ";" is a comment.
// - A line whose first non-blank byte is "[" is a section line. The section's name runs from that
//   "[" to the last "]" on the line, blanks around it dropped, so names may hold "]" and "=".
//   A section line without any "]" opens a section that no name matches: the keys below it
//   belong to no section until the next section line.
// - Any other line holding "=" gives a key: the name is what comes before the first "=", the
//   value what follows it, both without surrounding blanks. A value enclosed in double quotes
//   loses that one pair. Other lines, and keys before the first section line, are ignored.
// - Section and key names match without regard to case, for every letter (Unicode case folding)
//   where both names are UTF-8, for A to Z alone otherwise.
//   The first matching section counts, and the first matching key in it.
// - A value is read whole, however long its line.
#ifndef WEBLETTER_SETTINGS_INI_TEXT_H_
#define WEBLETTER_SETTINGS_INI_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace webletter::ini_text {

// Finds one value while the file's bytes arrive piece by piece, so that a reader can stop as
// soon as the answer is known. Requested names get the same treatment as names written by
// WithValue: line breaks become blanks, surrounding blanks are dropped.
class ValueFinder {
 public:
  ValueFinder(std::string_view section, std::string_view key);

  // Takes the next bytes of the file. Returns true once the value is known; later bytes are
  // then not needed.
  bool Take(std::string_view bytes);
  // The value after the last bytes were taken ("" when section or key is missing).
  std::string Finish();

 private:
  void TakeLine(std::string_view line);

  std::string section_;
  std::string key_;
  std::string pending_;  // the start of a line whose end has not arrived yet
  std::string value_;
  bool first_line_ = true;
  bool in_section_ = false;
  bool done_;  // from the start when the key is empty: no line can hold it
};

// The value of `key` in `section` of the file text `text`, or "".
std::string FindValue(std::string_view text, std::string_view section, std::string_view key);

// The file text with `key` in `section` set to `value`, every other byte kept: an existing key's
// line keeps everything up to its "=" and the blanks after it; a missing key is added after the
// section's last line that is neither blank nor a comment; a missing section is added at the end.
// Added lines end with the file's first line break (LF when it has none). Line breaks inside the
// names and the value are written as blanks, and a value is quoted when it would not read back
// as written otherwise. Returns nothing when the key cannot be written so that it reads back:
// an empty name, a name holding "=", or one that starts with "[" or ";".
std::optional<std::string> WithValue(std::string_view text, std::string_view section,
                                     std::string_view key, std::string_view value);

}  // namespace webletter::ini_text

#endif  // WEBLETTER_SETTINGS_INI_TEXT_H_
