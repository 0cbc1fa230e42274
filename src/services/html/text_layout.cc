#include "services/html/text_layout.h"

#include <algorithm>

#include "base/ascii.h"
#include "services/html/source_text.h"

namespace webletter::html {
namespace {

constexpr std::string_view kNoBreakSpace = "\xC2\xA0";

// Characters, not bytes.
std::size_t Width(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::size_t TrailingLineBreaks(std::string_view text) {
  std::size_t count = 0;
  while (count < 2 && count < text.size() && text[text.size() - 1 - count] == '\n') ++count;
  return count;
}

// The line without blanks at its end, nor control characters (a tab excepted) in it.
void AppendTrimmed(std::string& out, std::string_view line) {
  while (!line.empty() && (IsAsciiSpace(line.back()) || IsAsciiControl(line.back()))) {
    line.remove_suffix(1);
  }
  const std::size_t begin = out.size();
  out += line;
  const auto is_control = [](char c) { return c != '\t' && IsAsciiControl(c); };
  out.erase(std::remove_if(out.begin() + static_cast<std::ptrdiff_t>(begin), out.end(), is_control),
            out.end());
  out += '\n';
}

}  // namespace

void TextLayout::Text(std::string_view text) {
  if (ValidPrefix(text) < text.size()) return Text(ValidUtf8(text));
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while ((end = text.find_first_of(" \t\n\r\f\xC2", end)) != std::string_view::npos &&
           text[end] == '\xC2' && !text.substr(end).starts_with(kNoBreakSpace)) {
      ++end;
    }
    end = std::min(end, text.size());
    if (end > at) {
      StartContent(text[at]);
      line_.append(text, at, end - at);
      at = end;
    } else {
      if (pending_space_ == Space::kNone) pending_space_ = Space::kBlank;
      at += IsAsciiSpace(text[at]) ? 1 : kNoBreakSpace.size();
    }
  }
}

void TextLayout::Preformatted(std::string_view text) {
  if (ValidPrefix(text) < text.size()) return Preformatted(ValidUtf8(text));
  while (!text.empty()) {
    const std::size_t line_end = std::min(text.find('\n'), text.size());
    if (line_end > 0) {
      StartContent();
      line_ += text.substr(0, line_end);
      line_preformatted_ = true;
    }
    if (line_end == text.size()) break;
    if (line_.empty()) {
      StartContent();
    }
    line_preformatted_ = true;
    FlushLine();
    text.remove_prefix(line_end + 1);
  }
}

void TextLayout::Word(std::string_view word) {
  if (ValidPrefix(word) < word.size()) return Word(ValidUtf8(word));
  if (pending_space_ == Space::kNone) pending_space_ = Space::kBlank;
  StartContent();
  line_ += word;
  pending_space_ = Space::kAfterWord;
}

void TextLayout::Break(int lines) {
  if (!line_.empty()) FlushLine();
  pending_space_ = Space::kNone;
  pending_lines_ = std::max(pending_lines_, lines);
}

void TextLayout::LineBreak() {
  if (!line_.empty()) {
    FlushLine();
  } else if (!out_.empty()) {
    out_ += '\n';
  }
  pending_space_ = Space::kNone;
}

void TextLayout::CellSeparator() {
  if (!line_.empty()) pending_space_ = Space::kSeparator;
}

// Before text that starts with `next`: the empty line asked for, then the blank or separator
// when the line has text.
void TextLayout::StartContent(char next) {
  if (pending_lines_ > 0 && !out_.empty()) {
    for (std::size_t have = TrailingLineBreaks(out_);
         have < static_cast<std::size_t>(pending_lines_); ++have) {
      out_ += '\n';
    }
  }
  pending_lines_ = 0;
  static constexpr std::string_view kPunctuation = ".,;:!?)]}'\"";
  if (pending_space_ == Space::kAfterWord && kPunctuation.find(next) != std::string_view::npos) {
    pending_space_ = Space::kNone;
  }
  if (!line_.empty() && pending_space_ != Space::kNone) {
    line_ += pending_space_ == Space::kSeparator ? " | " : " ";
  }
  pending_space_ = Space::kNone;
}

std::optional<std::string_view> TextLayout::TextSince(Mark mark) const {
  if (mark.line != lines_ || mark.column > line_.size()) return std::nullopt;
  std::string_view text = std::string_view(line_).substr(mark.column);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

void TextLayout::FlushLine() {
  const std::string prefix = marker_.empty() ? std::string(indent_, ' ') : marker_;
  marker_.clear();
  if (line_preformatted_) {
    AppendTrimmed(out_, prefix + line_);
  } else {
    AppendWrapped(prefix);
  }
  line_.clear();
  line_preformatted_ = false;
  pending_space_ = Space::kNone;
  ++lines_;
}

// Greedy: as many words on a line as fit in kLineWidth, at least one.
void TextLayout::AppendWrapped(std::string_view prefix) {
  const std::string indent(indent_, ' ');
  std::string line(prefix);
  std::size_t width = Width(prefix);
  bool has_word = false;
  std::string_view rest = line_;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (word.empty()) continue;
    const std::size_t word_width = Width(word);
    if (has_word && width + 1 + word_width > kLineWidth) {
      AppendTrimmed(out_, line);
      line = indent;
      width = indent_;
      has_word = false;
    }
    if (has_word) {
      line += ' ';
      ++width;
    }
    line += word;
    width += word_width;
    has_word = true;
  }
  if (has_word) AppendTrimmed(out_, line);
}

std::string TextLayout::Finish() {
  if (!line_.empty()) FlushLine();
  while (out_.ends_with("\n\n")) out_.pop_back();
  const std::size_t first = out_.find_first_not_of('\n');
  out_.erase(0, first == std::string::npos ? out_.size() : first);
  return std::move(out_);
}

}  // namespace webletter::html
