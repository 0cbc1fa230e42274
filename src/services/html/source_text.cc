#include "services/html/source_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/ascii.h"
#include "base/standard_messages.h"

namespace webletter::html {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// The longest byte sequence that any charset here spends on one character.
constexpr std::size_t kLongestCharacter = 8;

const auto kNoConverter = reinterpret_cast<iconv_t>(-1);  // iconv_open's failure
constexpr auto kFailed = static_cast<std::size_t>(-1);    // iconv's

std::string DecoderName(std::string_view charset) {
  std::string name = AsciiLower(charset);
  if (name == "iso-8859-1" || name == "us-ascii") return "windows-1252";
  return name;
}

// Multi-byte charsets in which a byte below 0x80 that starts a character is that ASCII
// character (trail bytes may be below 0x80: those are read with their lead byte).
bool KeepsAsciiApart(std::string_view name) {
  static constexpr std::array<std::string_view, 13> kCharsets{
      "shift_jis", "windows-31j", "cp932",   "euc-jp", "euc-kr",     "cp949", "gb2312",
      "gbk",       "cp936",       "gb18030", "big5",   "big5-hkscs", "euc-tw"};
  return std::find(kCharsets.begin(), kCharsets.end(), name) != kCharsets.end();
}

// One call of iconv on `in`, appending its output to `out`; advances `in` past what it read.
// False on an error, left in errno.
bool Convert(iconv_t converter, std::string_view& in, std::string& out) {
  std::array<char, 256> buffer;
  char* in_at = const_cast<char*>(in.data());  // iconv's signature; the input is not changed
  std::size_t in_left = in.size();
  char* out_at = buffer.data();
  std::size_t out_left = buffer.size();
  const std::size_t done =
      iconv(converter, in.empty() ? nullptr : &in_at, &in_left, &out_at, &out_left);
  out.append(buffer.data(), static_cast<std::size_t>(out_at - buffer.data()));
  in.remove_prefix(in.size() - in_left);
  return done != kFailed;
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t ValidSequence(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // No overlong forms, surrogates or code points past U+10FFFF.
  const unsigned second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

}  // namespace

std::size_t ValidPrefix(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    // ASCII eight bytes at a time.
    std::uint64_t word = 0;
    while (text.size() - at >= sizeof word &&
           (std::memcpy(&word, text.data() + at, sizeof word), (word & 0x8080808080808080u) == 0)) {
      at += sizeof word;
    }
    if (at == text.size()) break;
    const std::size_t length =
        static_cast<unsigned char>(text[at]) < 0x80 ? 1 : ValidSequence(text.substr(at));
    if (length == 0) break;
    at += length;
  }
  return at;
}

std::string ValidUtf8(std::string_view text) {
  std::string valid(text.substr(0, ValidPrefix(text)));
  for (std::size_t at = valid.size(); at < text.size();) {
    const std::size_t length = ValidSequence(text.substr(at));
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++at;
    } else {
      valid.append(text, at, length);
      at += length;
    }
  }
  return valid;
}

Result<SourceText> SourceText::Decode(std::string_view bytes, std::string_view charset) {
  SourceText text;
  text.bytes_ = bytes;
  const std::string name = DecoderName(charset);
  if (name.empty() || name == "utf-8" || name == "utf8") return text;
  if (!IsCharsetName(name)) return Status(error::kInvalidArgument);
  const iconv_t decoder = iconv_open("UTF-8", name.c_str());
  if (decoder == kNoConverter) return Status(error::kInvalidArgument);
  text.decoder_.reset(decoder);
  const iconv_t encoder = iconv_open(name.c_str(), "UTF-8");
  if (encoder == kNoConverter) return Status(error::kInvalidArgument);
  text.encoder_.reset(encoder);
  text.converted_ = true;
  text.utf8_.reserve(bytes.size() + bytes.size() / 4);
  if (text.MakeTable()) {
    text.DecodeWithTable();
  } else {
    text.DecodeByCharacter(KeepsAsciiApart(name));
  }
  return text;
}

std::size_t SourceText::SourceOffset(std::size_t at) const {
  if (!converted_) return at;
  if (at >= utf8_.size()) return bytes_.size();
  const auto after =
      std::upper_bound(runs_.begin(), runs_.end(), at,
                       [](std::size_t x, const Run& run) { return x < run.utf8_begin; });
  const Run& run = *std::prev(after);
  return run.source_begin + (at - run.utf8_begin) / run.utf8_length * run.source_length;
}

void SourceText::AppendEncoded(std::string_view utf8, std::string& out) const {
  if (!converted_) {
    out += utf8;
    return;
  }
  while (!EncodeWhatFits(utf8, out)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::size_t length = std::min(Utf8LeadLength(utf8[0]), utf8.size());
    std::string percent;
    for (const char c : utf8.substr(0, length)) {
      const auto byte = static_cast<unsigned char>(c);
      percent += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
    std::string_view ascii = percent;
    (void)EncodeWhatFits(ascii, out);
    utf8.remove_prefix(length);
  }
}

// Converts `utf8` until a character that the charset lacks (false, `utf8` left at it) or the end
// (true, the converter back in its first state).
bool SourceText::EncodeWhatFits(std::string_view& utf8, std::string& out) const {
  const auto encoder = static_cast<iconv_t>(encoder_.get());
  while (!utf8.empty()) {
    if (!Convert(encoder, utf8, out) && errno != E2BIG) return false;
  }
  std::string_view none;
  (void)Convert(encoder, none, out);
  return true;
}

void SourceText::AddCharacter(std::size_t source_begin, std::size_t source_length,
                              std::string_view utf8) {
  if (runs_.empty() || runs_.back().utf8_length != utf8.size() ||
      runs_.back().source_length != source_length) {
    runs_.push_back({utf8_.size(), source_begin, utf8.size(), source_length});
  }
  utf8_ += utf8;
}

void SourceText::AddAscii(std::size_t begin, std::size_t end) {
  if (runs_.empty() || runs_.back().utf8_length != 1 || runs_.back().source_length != 1) {
    runs_.push_back({utf8_.size(), begin, 1, 1});
  }
  utf8_.append(bytes_, begin, end - begin);
}

// A table when each of the 256 bytes is a character by itself (or none at all).
bool SourceText::MakeTable() {
  const auto decoder = static_cast<iconv_t>(decoder_.get());
  table_.resize(256);
  for (std::size_t byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    std::string_view in(&c, 1);
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    const bool converted = Convert(decoder, in, table_[byte]);
    if (converted && !table_[byte].empty()) continue;
    if (converted || errno != EILSEQ || !table_[byte].empty()) {
      table_.clear();
      return false;
    }
    table_[byte] = kReplacement;
  }
  return true;
}

void SourceText::DecodeWithTable() {
  bool ascii_apart = true;
  for (std::size_t byte = 0; byte < 0x80; ++byte) {
    ascii_apart = ascii_apart && table_[byte] == std::string(1, static_cast<char>(byte));
  }
  for (std::size_t at = 0; at < bytes_.size();) {
    const auto byte = static_cast<unsigned char>(bytes_[at]);
    if (ascii_apart && byte < 0x80) {
      std::size_t end = at + 1;
      while (end < bytes_.size() && static_cast<unsigned char>(bytes_[end]) < 0x80) ++end;
      AddAscii(at, end);
      at = end;
    } else {
      AddCharacter(at, 1, table_[byte]);
      ++at;
    }
  }
}

void SourceText::DecodeByCharacter(bool ascii_apart) {
  std::size_t start = 0;  // where the character begins, with any shift bytes before it
  for (std::size_t at = 0; at < bytes_.size();) {
    if (ascii_apart && start == at && static_cast<unsigned char>(bytes_[at]) < 0x80) {
      std::size_t end = at + 1;
      while (end < bytes_.size() && static_cast<unsigned char>(bytes_[end]) < 0x80) ++end;
      AddAscii(at, end);
      start = at = end;
      continue;
    }
    const std::size_t decoded = utf8_.size();
    at = DecodeOneCharacter(start, at);
    if (utf8_.size() > decoded) start = at;
  }
}

// Decodes the character at `at` (its bytes from `start` on, shift bytes included) and returns
// where the next one starts. Bytes that give no output yet (a shift sequence) return the
// position after them with nothing added.
std::size_t SourceText::DecodeOneCharacter(std::size_t start, std::size_t at) {
  const auto decoder = static_cast<iconv_t>(decoder_.get());
  for (std::size_t length = 1;; ++length) {
    if (at + length > bytes_.size() || length > kLongestCharacter) break;
    std::string_view in = bytes_.substr(at, length);
    std::string out;
    const bool converted = Convert(decoder, in, out);
    const std::size_t next = at + length - in.size();
    if (!out.empty()) {
      AddCharacter(start, next - start, out);
      return next;
    }
    if (converted || next > at) return next;  // shift bytes alone
    if (errno != EINVAL) break;
  }
  iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  AddCharacter(start, at + 1 - start, kReplacement);
  return at + 1;
}

}  // namespace webletter::html
