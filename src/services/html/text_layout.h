// The lines of a page's text as a reader sees them: blanks collapsed as a browser collapses them
// (a no-break space counts as a blank), preformatted text kept as it is, blocks separated by a
// line break or an empty line, list items with their marker and a hanging indent, table cells
// in one line separated by " | ", and lines wrapped at 76 characters at blanks (a longer word
// stands whole on a line of its own; preformatted lines are never wrapped). No line ends in a
// blank, control characters other than tabs are left out, and the text ends with one line
// break, or is empty.
#ifndef WEBLETTER_SERVICES_HTML_TEXT_LAYOUT_H_
#define WEBLETTER_SERVICES_HTML_TEXT_LAYOUT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace webletter::html {

inline constexpr std::size_t kLineWidth = 76;

class TextLayout {
 public:
  // Text of the page, UTF-8 (a byte that is not becomes U+FFFD).
  void Text(std::string_view text);
  // Preformatted text: blanks and line breaks kept.
  void Preformatted(std::string_view text);
  // One word that is never broken, after a blank (a link's address); a blank follows it unless
  // punctuation does.
  void Word(std::string_view word);
  // Ends the line; with 2 the next text also comes after an empty line.
  void Break(int lines);
  // A <br>: ends the line, an empty one too.
  void LineBreak();
  // The next text of this line comes after " | ".
  void CellSeparator();
  // The next line starts with `marker` instead of the indent.
  void SetMarker(std::string marker) { marker_ = std::move(marker); }
  // Lines start with this many blanks (after the marker's line).
  void SetIndent(std::size_t columns) { indent_ = columns; }

  // Where the text stands now, and the text written since, when still on the same line.
  struct Mark {
    std::size_t line;
    std::size_t column;
  };
  Mark Here() const { return {lines_, line_.size()}; }
  std::optional<std::string_view> TextSince(Mark mark) const;

  // The whole text.
  std::string Finish();

 private:
  enum class Space { kNone, kBlank, kSeparator, kAfterWord };

  void StartContent(char next = ' ');
  void FlushLine();
  void AppendWrapped(std::string_view prefix);

  std::string out_;
  std::string line_;  // the line being written, without its indent
  bool line_preformatted_ = false;
  std::size_t lines_ = 0;
  int pending_lines_ = 0;
  Space pending_space_ = Space::kNone;
  std::string marker_;
  std::size_t indent_ = 0;
};

}  // namespace webletter::html

#endif  // WEBLETTER_SERVICES_HTML_TEXT_LAYOUT_H_
