#include "services/fetch/text_decoding.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

#include "services/fetch/charset.h"
#include "services/fetch/utf8.h"

namespace webletter {
namespace {

// Owns one iconv conversion to UTF-8.
class Converter {
 public:
  explicit Converter(const std::string& charset) : cd_(iconv_open("UTF-8", charset.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != kInvalid; }
  iconv_t get() const { return cd_; }

 private:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
  iconv_t cd_;
};

// The name iconv reads a charset by. Pages labelled Latin-1 or ASCII are read as windows-1252,
// the superset that browsers use for them.
std::string DecoderName(std::string_view charset, std::string_view bytes) {
  std::optional<std::string> name = SupportedCharset(charset);
  if (!name) return IsValidUtf8(bytes) ? "utf-8" : "windows-1252";
  if (*name == "iso-8859-1" || *name == "us-ascii") return "windows-1252";
  return *name;
}

std::string_view WithoutBom(std::string_view bytes, std::string_view decoder) {
  for (const ByteOrderMark& mark : kByteOrderMarks) {
    if (decoder == mark.charset && bytes.starts_with(mark.bytes)) {
      return bytes.substr(mark.bytes.size());
    }
  }
  return bytes;
}

// Whether every byte below 0x80 stands for that ASCII character (Shift_JIS excepted: it reads "\"
// and "~" as yen and overline) and is no part of another character, save as a trail byte of 0x40
// or more after a lead byte (Shift_JIS, Big5, GBK and the like). A text starting with "<" is then
// found in the bytes exactly where it is in the decoded text: "<" is no trail byte, so it starts a
// character, and so does each ASCII byte after it. UTF-16 and UTF-32, ISO-2022 and HZ (which shift
// into double bytes) and EBCDIC are not such.
bool KeepsAsciiApart(std::string_view decoder) {
  static constexpr std::array<std::string_view, 13> kSupersets{
      "utf-8",  "koi8-r", "koi8-u", "ibm866",  "windows-874", "shift_jis", "euc-jp",
      "euc-kr", "gb2312", "gbk",    "gb18030", "big5",        "big5-hkscs"};
  return decoder.starts_with("windows-125") || decoder.starts_with("iso-8859-") ||
         std::find(kSupersets.begin(), kSupersets.end(), decoder) != kSupersets.end();
}

// The decoded text goes out in pieces of at most this many bytes.
constexpr std::size_t kDecodePiece = 64u << 10;

// Converts with iconv into `buffer`, handing each filled piece to `take`; a byte that does not
// convert becomes U+FFFD and the conversion goes on after it.
template <typename Take>
void ConvertInPieces(std::string_view bytes, const Converter& converter, std::string& buffer,
                     Take take) {
  buffer.resize(kDecodePiece);
  std::size_t written = 0;
  char* in = const_cast<char*>(bytes.data());  // iconv's signature; the input is not changed
  std::size_t in_left = bytes.size();
  const auto hand_over = [&] {
    take(std::string_view(buffer.data(), written));
    written = 0;
  };
  // One step of iconv; a null `in_at` flushes the converter's state. False on an error in errno.
  const auto step = [&](char** in_at, std::size_t* in_count) {
    char* out_at = buffer.data() + written;
    std::size_t out_left = buffer.size() - written;
    const std::size_t done = iconv(converter.get(), in_at, in_count, &out_at, &out_left);
    written = buffer.size() - out_left;
    return done != static_cast<std::size_t>(-1);
  };
  const auto replace = [&] {
    if (buffer.size() - written < kReplacementCharacter.size()) hand_over();
    buffer.replace(written, kReplacementCharacter.size(), kReplacementCharacter);
    written += kReplacementCharacter.size();
  };
  while (in_left > 0 && !step(&in, &in_left)) {
    if (errno == E2BIG) {
      hand_over();
    } else if (errno == EILSEQ) {
      replace();
      ++in;
      --in_left;
    } else {  // EINVAL: the input ends inside a character
      replace();
      in_left = 0;
    }
  }
  while (!step(nullptr, nullptr) && errno == E2BIG) hand_over();
  hand_over();
}

std::string Convert(std::string_view bytes, const Converter& converter) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  std::string buffer;
  ConvertInPieces(bytes, converter, buffer, [&](std::string_view piece) { out += piece; });
  return out;
}

// Whether the text decoded piece by piece holds `text`, also across two pieces.
bool ConvertedHolds(std::string_view bytes, const Converter& converter, std::string_view text) {
  std::string buffer;
  std::string seam;  // the last text.size() - 1 bytes decoded so far
  bool found = false;
  ConvertInPieces(bytes, converter, buffer, [&](std::string_view piece) {
    if (found) return;
    const std::size_t keep = text.size() - 1;
    found = (seam + std::string(piece.substr(0, keep))).find(text) != std::string::npos ||
            piece.find(text) != std::string_view::npos;
    seam += piece.substr(piece.size() > keep ? piece.size() - keep : 0);
    if (seam.size() > keep) seam.erase(0, seam.size() - keep);
  });
  return found;
}

}  // namespace

// iconv, asked to read UTF-8 as UTF-8, lets some invalid sequences through: UTF-8 is repaired
// instead.
std::string DecodeToUtf8(std::string_view bytes, std::string_view charset) {
  const std::string decoder = DecoderName(charset, bytes);
  bytes = WithoutBom(bytes, decoder);
  if (decoder == "utf-8") return RepairUtf8(bytes);
  const Converter converter(decoder);
  if (!converter.valid()) return std::string(bytes);  // not reached: the name was checked
  return Convert(bytes, converter);
}

std::optional<std::string_view> Utf8AsIs(std::string_view bytes, std::string_view charset) {
  const std::string decoder = DecoderName(charset, bytes);
  if (decoder != "utf-8") return std::nullopt;
  bytes = WithoutBom(bytes, decoder);
  if (!IsValidUtf8(bytes)) return std::nullopt;
  return bytes;
}

bool DecodedTextHolds(std::string_view bytes, std::string_view charset, std::string_view text) {
  const std::string decoder = DecoderName(charset, bytes);
  if (KeepsAsciiApart(decoder)) return bytes.find(text) != std::string_view::npos;
  const Converter converter(decoder);
  if (!converter.valid()) return false;  // not reached: the name was checked
  return ConvertedHolds(WithoutBom(bytes, decoder), converter, text);
}

}  // namespace webletter
