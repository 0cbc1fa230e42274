// A page's bytes in its own charset, seen as UTF-8 for the parser, with the way back: which
// source byte each UTF-8 position came from, and text written in the page's charset again.
// UTF-8 pages are used as they are. Single-byte charsets (windows-1252, ISO-8859-x, KOI8-R,
// ...) convert through a table of their 256 bytes; the others one character at a time with
// iconv, bytes below 0x80 taken as ASCII at once where the charset keeps ASCII apart (Shift_JIS,
// EUC-JP, GBK, Big5, ...). A byte that does not convert reads as U+FFFD. Labels are read as
// browsers read them: "iso-8859-1" and "us-ascii" as windows-1252.
#ifndef WEBLETTER_SERVICES_HTML_SOURCE_TEXT_H_
#define WEBLETTER_SERVICES_HTML_SOURCE_TEXT_H_

#include <iconv.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace webletter::html {

class SourceText {
 public:
  // Fails (error::kInvalidArgument) for a charset that iconv cannot read or write.
  static Result<SourceText> Decode(std::string_view bytes, std::string_view charset);

  // An empty text (what a failed Decode holds).
  SourceText() = default;

  // The page as UTF-8.
  std::string_view utf8() const { return converted_ ? std::string_view(utf8_) : bytes_; }
  // The source offset of the UTF-8 offset `at`, which starts a character (or is the end).
  std::size_t SourceOffset(std::size_t at) const;
  // `utf8` in the page's charset, appended to `out`; a character the charset lacks becomes the
  // percent-encoded bytes of its UTF-8 ("%E2%82%AC").
  void AppendEncoded(std::string_view utf8, std::string& out) const;

 private:
  // Characters from `utf8_begin` on that each take `utf8_length` bytes in UTF-8 and
  // `source_length` in the page, up to the next run.
  struct Run {
    std::size_t utf8_begin;
    std::size_t source_begin;
    std::size_t utf8_length;
    std::size_t source_length;
  };

  struct Closer {
    void operator()(void* converter) const { iconv_close(static_cast<iconv_t>(converter)); }
  };
  using Converter = std::unique_ptr<void, Closer>;

  void AddCharacter(std::size_t source_begin, std::size_t source_length, std::string_view utf8);
  void AddAscii(std::size_t begin, std::size_t end);
  bool MakeTable();
  void DecodeWithTable();
  void DecodeByCharacter(bool ascii_apart);
  std::size_t DecodeOneCharacter(std::size_t start, std::size_t at);
  bool EncodeWhatFits(std::string_view& utf8, std::string& out) const;

  std::string_view bytes_;
  bool converted_ = false;
  std::string utf8_;
  std::vector<Run> runs_;
  Converter decoder_;
  Converter encoder_;
  std::vector<std::string> table_;  // a single-byte charset's characters, by byte
};

// How many bytes at the start of `text` are valid UTF-8 (all of them for valid text).
std::size_t ValidPrefix(std::string_view text);
// `text` with each byte that starts no valid UTF-8 sequence replaced by U+FFFD. The parser lets
// some character references through as such bytes (a number too large for it).
std::string ValidUtf8(std::string_view text);

}  // namespace webletter::html

#endif  // WEBLETTER_SERVICES_HTML_SOURCE_TEXT_H_
