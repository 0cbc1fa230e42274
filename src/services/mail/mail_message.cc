#include "services/mail/mail_message.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "base/ascii.h"
#include "base/standard_messages.h"
#include "base/version.h"

namespace webletter {
namespace {

// GObject's cast macros are C-style casts; GMime's types embed their parent first, so a plain
// pointer conversion is what those macros do once the type check is left out.
template <typename To, typename From>
To* As(From* object) {
  return reinterpret_cast<To*>(object);
}

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct FormatOptionsFree {
  void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};
using GString = std::unique_ptr<char, GFree>;

void InitGMimeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Header text for GMime: valid UTF-8 (invalid sequences become U+FFFD) on one line (control
// characters, line breaks among them, become blanks).
std::string HeaderText(std::string_view text) {
  if (text.empty()) return {};
  const GString valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  std::string line = valid.get();
  std::replace_if(line.begin(), line.end(), IsAsciiControl, ' ');
  return line;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string_view::npos;
       start = end + 1) {
    pieces.push_back(text.substr(start, end - start));
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// ---- Addresses

// RFC 5322 atext: the characters of an atom.
bool IsAtext(char c) {
  return IsAsciiLetterOrDigit(c) ||
         std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Atoms joined by single dots.
bool IsDotAtom(std::string_view text) {
  const std::vector<std::string_view> atoms = Split(text, '.');
  return std::all_of(atoms.begin(), atoms.end(), [](std::string_view atom) {
    return !atom.empty() && std::all_of(atom.begin(), atom.end(), IsAtext);
  });
}

// A punycode label that decodes: GLib decodes even broken ones leniently, so the label must
// come back the same when encoded again.
bool IsValidPunycodeLabel(std::string_view label) {
  const std::string ascii(label);
  const GString unicode(g_hostname_to_unicode(ascii.c_str()));
  if (unicode == nullptr) return false;
  const GString again(g_hostname_to_ascii(unicode.get()));
  return again != nullptr && AsciiLower(again.get()) == AsciiLower(ascii);
}

// Host-name labels of letters, digits and "-" (not first or last), each 1 to 63 long.
bool IsHostName(std::string_view domain) {
  const std::vector<std::string_view> labels = Split(domain, '.');
  return std::all_of(labels.begin(), labels.end(), [](std::string_view label) {
    const bool ldh = !label.empty() && label.size() <= 63 && label.front() != '-' &&
                     label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
                       return IsAsciiLetterOrDigit(c) || c == '-';
                     });
    return ldh && (!AsciiLower(label).starts_with("xn--") || IsValidPunycodeLabel(label));
  });
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]".
bool IsAddressLiteral(std::string_view domain) {
  if (domain.size() < 3 || domain.front() != '[' || domain.back() != ']') return false;
  std::string_view inside = domain.substr(1, domain.size() - 2);
  const bool v6 = AsciiLower(inside.substr(0, 5)) == "ipv6:";
  if (v6) inside.remove_prefix(5);
  const std::string ip(inside);
  const bool has_colon = ip.find(':') != std::string::npos;
  return ip.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos && has_colon == v6 &&
         g_hostname_is_ip_address(ip.c_str());
}

// The domain in ASCII: as given when it is ASCII, else its xn-- form; empty when it has none.
std::string AsciiDomain(std::string_view domain) {
  if (IsAscii(domain)) return std::string(domain);
  if (domain.back() == '.' ||
      !g_utf8_validate(domain.data(), static_cast<gssize>(domain.size()), nullptr)) {
    return {};
  }
  const GString ascii(g_hostname_to_ascii(std::string(domain).c_str()));
  return ascii == nullptr ? std::string() : std::string(ascii.get());
}

// ---- Header values

// The longest line the header values aim for; lines with encoded words must stay within it.
constexpr std::size_t kFoldColumn = 76;
constexpr std::size_t kLongestEncodedWord = 75;
constexpr std::string_view kEncodedWordQ = "=?UTF-8?Q?";
constexpr std::string_view kEncodedWordB = "=?UTF-8?B?";
constexpr std::size_t kEncodedWordFrame = 12;  // "=?UTF-8?Q?" and "?="
// Less room than this at the end of a line, and an encoded word goes on the next one.
constexpr std::size_t kLeastWordRoom = 30;

// Text that may stand in a header as it is: printable ASCII words separated by blanks, no
// encoded word's opening "=?", no blank at either end (readers drop those), and no word too
// long to fit on a folded line.
bool IsPlainText(std::string_view text) {
  if (text.empty()) return true;
  if (text.front() == ' ' || text.back() == ' ' || text.find("=?") != std::string_view::npos) {
    return false;
  }
  const std::vector<std::string_view> words = Split(text, ' ');
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; }) &&
         std::all_of(words.begin(), words.end(),
                     [](std::string_view word) { return word.size() < kFoldColumn; });
}

// What stands for itself in a Q encoded word in any header, a phrase included.
bool IsQSafe(unsigned char byte) {
  return IsAsciiLetterOrDigit(static_cast<char>(byte)) || byte == '!' || byte == '*' ||
         byte == '+' || byte == '-' || byte == '/';
}

std::size_t QSize(std::string_view bytes) {
  std::size_t size = 0;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    size += (IsQSafe(byte) || byte == ' ') ? 1 : 3;
  }
  return size;
}

std::size_t BSize(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

std::string QEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsQSafe(byte)) {
      out += c;
    } else if (byte == ' ') {
      out += '_';
    } else {
      out += '=';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

std::string BEncode(std::string_view bytes) {
  const GString encoded(
      g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size()));
  return encoded.get();
}

// The length of the UTF-8 character that starts `text` (valid UTF-8).
std::size_t CharSize(std::string_view text) {
  return std::min(Utf8LeadLength(text.front()), text.size());
}

// How many bytes of `text` (valid UTF-8) the next encoded word takes: whole characters whose
// encoding fits in `limit`, ending after a blank where one comes late enough (some readers keep
// the blank between two encoded words: it then doubles a blank instead of splitting a word). A B
// word that is not the last carries whole groups of three bytes, as GMime 3.2 loses the word
// after one that ends in padding; 0 when no such group fits.
std::size_t WordLength(std::string_view text, std::size_t limit, bool q) {
  std::size_t fits = 0;
  std::size_t after_blank = 0;
  for (std::size_t end = 0; end < text.size();) {
    end += CharSize(text.substr(end));
    if ((q ? QSize(text.substr(0, end)) : BSize(end)) > limit) break;
    if (end == text.size()) return end;
    if (!q && end % 3 != 0) continue;
    fits = end;
    if (text[end - 1] == ' ') after_blank = end;
  }
  return after_blank > fits / 2 ? after_blank : fits;
}

std::string EncodedWord(std::string_view chars, bool q) {
  return std::string(q ? kEncodedWordQ : kEncodedWordB) + (q ? QEncode(chars) : BEncode(chars)) +
         "?=";
}

// A header value as it follows "Name:": tokens separated by a blank, or by a line break and a
// blank where the line would grow past kFoldColumn. GMime writes it as it stands.
class HeaderValue {
 public:
  explicit HeaderValue(std::string_view name) : column_(name.size() + 1) {}

  void Add(std::string_view token) {
    if (!raw_.empty() && !token.empty() && column_ + 1 + token.size() > kFoldColumn) {
      raw_ += '\n';
      column_ = 0;
    }
    raw_ += ' ';
    raw_ += token;
    column_ += 1 + token.size();
  }

  // `text` (valid UTF-8) as encoded words of whole characters, in Q or B, whichever is shorter.
  void AddEncoded(std::string_view text) {
    const bool shorter_in_q = QSize(text) <= BSize(text.size());
    while (!text.empty()) {
      std::size_t room = kFoldColumn - std::min(kFoldColumn, column_ + 1);
      if (!raw_.empty() && room < kLeastWordRoom) room = kFoldColumn - 1;
      const std::size_t limit = std::min(room, kLongestEncodedWord) - kEncodedWordFrame;
      bool q = shorter_in_q;
      std::size_t take = WordLength(text, limit, q);
      if (take == 0) {
        q = true;
        take = WordLength(text, limit, q);
      }
      Add(EncodedWord(text.substr(0, take), q));
      text.remove_prefix(take);
    }
  }

  // The value with its final line break, as GMime's raw header values end.
  std::string Finish() const { return raw_ + "\n"; }

 private:
  std::string raw_;
  std::size_t column_;
};

// A display name as a phrase: plain atoms as they are, other plain text as a quoted string
// (folded at its blanks), the rest encoded words (never inside quotes, where readers would not
// decode them).
void AddPhrase(HeaderValue& value, std::string_view name) {
  if (!IsPlainText(name)) {
    value.AddEncoded(name);
    return;
  }
  const std::vector<std::string_view> words = Split(name, ' ');
  const bool atoms = std::all_of(words.begin(), words.end(), [](std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), IsAtext);
  });
  if (atoms) {
    for (const std::string_view word : words) value.Add(word);
    return;
  }
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  for (const std::string_view piece : Split(quoted, ' ')) value.Add(piece);
}

std::string SubjectValue(std::string_view subject) {
  const std::string text = HeaderText(subject);
  HeaderValue value("Subject");
  if (IsPlainText(text)) {
    for (const std::string_view word : Split(text, ' ')) value.Add(word);
  } else {
    value.AddEncoded(text);
  }
  return value.Finish();
}

// Mailboxes "name <address>", or the bare address where the name is blank, comma-separated.
std::string AddressListValue(std::string_view header, const std::vector<const MailAddress*>& boxes,
                             const std::vector<std::string>& addresses) {
  HeaderValue value(header);
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const std::string name = HeaderText(boxes[i]->name);
    const std::string separator = i + 1 < boxes.size() ? "," : "";
    if (name.find_first_not_of(' ') == std::string::npos) {
      value.Add(addresses[i] + separator);
      continue;
    }
    AddPhrase(value, name);
    value.Add("<" + addresses[i] + ">" + separator);
  }
  return value.Finish();
}

// Replaces the value GMime formatted for header `name` (when there is one) with `raw`.
void SetRawHeader(GMimeMessage* message, const char* name, const std::string& raw) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(As<GMimeObject>(message));
  GMimeHeader* header = g_mime_header_list_get_header(headers, name);
  if (header != nullptr) g_mime_header_set_raw_value(header, raw.c_str());
}

// The right-hand side of the Message-ID: the sender's domain when it is a plain host name.
std::string MessageIdDomain(std::string_view from_address) {
  const auto at = from_address.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view domain = from_address.substr(at + 1);
    if (IsHostName(domain)) return std::string(domain);
  }
  return "localhost.localdomain";
}

// Sixteen bytes as one vector, for tests on all of them at once. A comparison of two gives -1 in
// each lane where it holds, 0 elsewhere.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
using Lanes16 = signed char __attribute__((vector_size(16)));

Bytes16 Load16(const char* bytes) {
  Bytes16 vector;
  std::memcpy(&vector, bytes, sizeof vector);
  return vector;
}
// The first lane of `lanes` that is set, or 16 when none is.
std::size_t FirstSetLane(Lanes16 lanes) {
  std::uint64_t halves[2];
  std::memcpy(halves, &lanes, sizeof halves);
  for (std::size_t half = 0; half < 2; ++half) {
    if (halves[half] == 0) continue;
    const int zeros = std::endian::native == std::endian::little ? std::countr_zero(halves[half])
                                                                 : std::countl_zero(halves[half]);
    return half * 8 + static_cast<std::size_t>(zeros) / 8;
  }
  return 16;
}
std::size_t LaneSum(Bytes16 counts) {
  std::size_t sum = 0;
  for (std::size_t lane = 0; lane < sizeof counts; ++lane) sum += counts[lane];
  return sum;
}

// Whether quoted-printable writes `byte` as "=XX" wherever it stands, a CR or LF aside: all but
// printable ASCII and tab.
bool AlwaysEscaped(unsigned char byte) { return (byte < 0x20 && byte != '\t') || byte >= 0x7f; }

// Quoted-printable keeps a mostly-ASCII body readable at about its own size; a body where more
// than one byte in six would be escaped goes as base64, which is shorter then. The bytes escaped
// are those always escaped and each CR or LF that is not part of a CR LF pair.
GMimeContentEncoding BodyEncoding(std::string_view body) {
  const char* bytes = body.data();
  const std::size_t size = body.size();
  std::size_t escaped = 0;  // CR and LF included
  std::size_t pairs = 0;    // CR LF
  std::size_t i = 0;
  // Sixteen bytes at a time, each lane counting up to 255; a block reads one byte past itself.
  while (size - i > sizeof(Bytes16)) {
    Bytes16 escapes{};
    Bytes16 line_ends{};
    for (int block = 0; block < 255 && size - i > sizeof(Bytes16); ++block, i += sizeof(Bytes16)) {
      const Bytes16 v = Load16(bytes + i);
      escapes -= reinterpret_cast<Bytes16>(((v < 0x20) & (v != '\t')) | (v >= 0x7f));
      line_ends -= reinterpret_cast<Bytes16>((v == '\r') & (Load16(bytes + i + 1) == '\n'));
    }
    escaped += LaneSum(escapes);
    pairs += LaneSum(line_ends);
  }
  for (; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    escaped += AlwaysEscaped(byte);
    pairs += byte == '\r' && i + 1 < size && bytes[i + 1] == '\n';
  }
  escaped -= 2 * pairs;
  return escaped * 6 > size ? GMIME_CONTENT_ENCODING_BASE64
                            : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
}

// Quoted-printable written straight from the body with CR LF line ends: each CR LF of the body
// is a line break; "=", a blank or tab before a line break or at the very end, and the bytes
// always escaped (a lone CR or LF among them) become "=XX"; a line holds at most 76 characters,
// its soft line break ("=" at the end) included; a body that does not end in CR LF ends with a
// soft line break. The content decodes to exactly the body's bytes.
class QuotedPrintable {
 public:
  // The least room that Encode needs: a soft line break and one escaped byte.
  static constexpr std::size_t kLeastRoom = 6;

  // Encodes the first bytes of `body` (the rest of the whole body) into `out`, which has room
  // for `room` bytes, at least kLeastRoom: returns how many it wrote, and `taken` how many of the
  // body's bytes they encode, at least one.
  std::size_t Encode(std::string_view body, char* out, std::size_t room, std::size_t& taken) {
    char* p = out;
    char* const end = out + room;
    const std::size_t size = body.size();
    std::size_t at = 0;
    while (at < size) {
      // Runs of printable ASCII are the common case: up to sixteen bytes at a time, copied
      // whole and then cut to the run and the room left on the line. A blank that ends a run
      // may stand before a line break and is left to the look below.
      while (size - at >= 16 && end - p >= 16) {
        std::size_t run = std::min(LiteralRun(&body[at]), kMostOnLine - column_);
        if (run > 0 && body[at + run - 1] == ' ') --run;
        if (run == 0) break;
        std::memcpy(p, &body[at], 16);
        p += run;
        at += run;
        column_ += run;
      }
      while (at < size && column_ < kMostOnLine && p < end && IsLiteralAt(body, at)) {
        *p++ = body[at++];
        ++column_;
      }
      if (at == size || static_cast<std::size_t>(end - p) < kLeastRoom) break;
      const auto byte = static_cast<unsigned char>(body[at]);
      if (LineEndsAt(body, at)) {
        *p++ = '\r';
        *p++ = '\n';
        column_ = 0;
        at += 2;
        continue;
      }
      const bool literal = IsLiteralAt(body, at);
      const std::size_t width = literal ? 1 : 3;
      if (column_ + width > kMostOnLine) {
        p = SoftBreak(p);
      }
      if (literal) {
        *p++ = body[at];
      } else {
        *p++ = '=';
        *p++ = kHex[byte >> 4];
        *p++ = kHex[byte & 0xF];
      }
      column_ += width;
      ++at;
    }
    taken = at;
    return static_cast<std::size_t>(p - out);
  }

  // What ends the content of a whole body.
  static std::string_view End(std::string_view whole_body) {
    return whole_body.empty() || whole_body.ends_with("\r\n") ? "" : "=\r\n";
  }

 private:
  static constexpr std::size_t kMostOnLine = 75;  // and "=" for a soft break
  static constexpr char kHex[] = "0123456789ABCDEF";

  // How many of the sixteen bytes at `bytes` come before the first that is not printable ASCII
  // or a blank, or is "=".
  static std::size_t LiteralRun(const char* bytes) {
    const Bytes16 v = Load16(bytes);
    return FirstSetLane((v < 0x20) | (v > 0x7e) | (v == '='));
  }
  // Whether the byte at `at` goes as it is: printable ASCII but "=", or a blank or tab that no
  // line break or end of the body follows.
  static bool IsLiteralAt(std::string_view body, std::size_t at) {
    const char c = body[at];
    if (c > ' ' && c < 0x7f) return c != '=';
    return (c == ' ' || c == '\t') && !LineEndsAt(body, at + 1);
  }
  // A line break or the end of the body at `at`: a blank or tab before it must be escaped.
  static bool LineEndsAt(std::string_view body, std::size_t at) {
    return at == body.size() || (body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n');
  }
  char* SoftBreak(char* p) {
    *p++ = '=';
    *p++ = '\r';
    *p++ = '\n';
    column_ = 0;
    return p;
  }

  std::size_t column_ = 0;
};

// The addresses of the message in their wire form: the sender's first, then the recipients'.
struct WireAddresses {
  std::string from;
  std::vector<std::string> to;
};

void AddHeaders(GMimeMessage* message, const MailContent& content, const WireAddresses& wire) {
  // GMime files the addresses and places the headers; their values are then written here, as
  // GMime 3.2 mis-encodes text holding "=?" and can leave lines over 998 characters.
  g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_FROM, nullptr, wire.from.c_str());
  std::vector<const MailAddress*> recipients;
  for (std::size_t i = 0; i < content.to.size(); ++i) {
    g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_TO, nullptr, wire.to[i].c_str());
    recipients.push_back(&content.to[i]);
  }
  g_mime_message_set_subject(message, "", "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message, now);
  g_date_time_unref(now);
  const GString message_id(g_mime_utils_generate_message_id(MessageIdDomain(wire.from).c_str()));
  g_mime_message_set_message_id(message, message_id.get());
  g_mime_object_set_header(As<GMimeObject>(message), "X-Mailer", kProductVersion, nullptr);

  SetRawHeader(message, "From", AddressListValue("From", {&content.from}, {wire.from}));
  if (!recipients.empty()) {
    SetRawHeader(message, "To", AddressListValue("To", recipients, wire.to));
  }
  SetRawHeader(message, "Subject", SubjectValue(content.subject));
}

// One text part labelled with the body's charset, its content left empty: the body is encoded
// as the message is read.
GPtr<GMimeTextPart> BodyPart(const MailContent& content, GMimeContentEncoding encoding) {
  GPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype(content.html ? "html" : "plain"));
  GPtr<GMimeStream> stream(g_mime_stream_mem_new());
  GPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(As<GMimePart>(part.get()), wrapper.get());
  const std::string charset = content.charset.empty() ? "utf-8" : content.charset;
  g_mime_text_part_set_charset(part.get(), charset.c_str());
  g_mime_part_set_content_encoding(As<GMimePart>(part.get()), encoding);
  return part;
}

using FormatOptions = std::unique_ptr<GMimeFormatOptions, FormatOptionsFree>;

FormatOptions WireFormat() {
  FormatOptions options(g_mime_format_options_new());
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  return options;
}

// The length of `body` in base64 as GMime writes it: lines of 76 characters (57 bytes) and CR LF.
long long Base64Size(std::size_t body) {
  return static_cast<long long>((body + 2) / 3 * 4 + (body + 56) / 57 * 2);
}

// Base64 encodes the body this many bytes at a time.
constexpr std::size_t kBodyPiece = 32u << 10;

}  // namespace

// The body's encoder: quoted-printable of its own, written straight into the reader's buffer
// (or a few bytes at a time into `tail` where that has too little room left), or base64 through
// GMime's filters as GMime writes a part (the encoding, then CR LF line ends) in front of a
// memory stream that is emptied after each piece.
struct MailStream::Encoder {
  bool quoted_printable = false;
  QuotedPrintable qp;
  std::array<char, 2 * QuotedPrintable::kLeastRoom> tail{};
  GPtr<GMimeStream> sink{g_mime_stream_mem_new()};
  GPtr<GMimeStream> filtered{g_mime_stream_filter_new(sink.get())};

  Encoder(GMimeContentEncoding encoding, GMimeFormatOptions* options)
      : quoted_printable(encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) {
    auto* chain = As<GMimeStreamFilter>(filtered.get());
    const GPtr<GMimeFilter> encode(g_mime_filter_basic_new(encoding, TRUE));
    g_mime_stream_filter_add(chain, encode.get());
    const GPtr<GMimeFilter> newline(g_mime_format_options_create_newline_filter(options, FALSE));
    g_mime_stream_filter_add(chain, newline.get());
  }

  GByteArray* out() const {
    return g_mime_stream_mem_get_byte_array(As<GMimeStreamMem>(sink.get()));
  }
};

MailStream::MailStream(std::string head, std::string_view body, std::unique_ptr<Encoder> encoder)
    : head_(std::move(head)),
      body_(body),
      end_(QuotedPrintable::End(body)),
      encoder_(std::move(encoder)),
      pending_(head_) {}

MailStream::~MailStream() = default;

Result<std::unique_ptr<MailStream>> MailStream::Open(const MailContent& content) {
  InitGMimeOnce();
  WireAddresses wire;
  Result<std::string> from = WireMailAddress(content.from.address);
  if (!from.ok()) return from.status();
  wire.from = std::move(from).value();
  for (const MailAddress& recipient : content.to) {
    Result<std::string> to = WireMailAddress(recipient.address);
    if (!to.ok()) return to.status();
    wire.to.push_back(std::move(to).value());
  }
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddHeaders(message.get(), content, wire);
  const GMimeContentEncoding encoding = BodyEncoding(content.body);
  GPtr<GMimeTextPart> part = BodyPart(content, encoding);
  g_mime_message_set_mime_part(message.get(), As<GMimeObject>(part.get()));

  const FormatOptions options = WireFormat();
  GPtr<GMimeStream> out(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(As<GMimeObject>(message.get()), options.get(), out.get()) < 0 ||
      g_mime_stream_flush(out.get()) != 0) {
    return Status(error::kMailComposeFailed);
  }
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(As<GMimeStreamMem>(out.get()));
  std::string head(reinterpret_cast<const char*>(bytes->data), bytes->len);
  std::unique_ptr<MailStream> stream(new MailStream(
      std::move(head), content.body, std::make_unique<Encoder>(encoding, options.get())));
  if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
    stream->expected_size_ =
        static_cast<long long>(stream->head_.size()) + Base64Size(content.body.size());
  }
  return stream;
}

bool MailStream::Refill() {
  if (encoder_->quoted_printable) {
    if (body_.empty()) {
      finished_ = true;
      pending_ = end_;
    } else {
      std::size_t taken = 0;
      char* tail = encoder_->tail.data();
      pending_ = {tail, encoder_->qp.Encode(body_, tail, encoder_->tail.size(), taken)};
      body_.remove_prefix(taken);
    }
    return true;
  }
  GByteArray* out = encoder_->out();
  g_byte_array_set_size(out, 0);
  g_mime_stream_reset(encoder_->sink.get());
  if (body_.empty()) {
    finished_ = true;
    if (g_mime_stream_flush(encoder_->filtered.get()) != 0) return false;
  } else {
    const std::size_t piece = std::min(kBodyPiece, body_.size());
    if (g_mime_stream_write(encoder_->filtered.get(), body_.data(), piece) < 0) return false;
    body_.remove_prefix(piece);
  }
  pending_ = std::string_view(reinterpret_cast<const char*>(out->data), out->len);
  return true;
}

Result<std::size_t> MailStream::Read(char* buffer, std::size_t size) {
  std::size_t copied = 0;
  while (copied < size) {
    if (pending_.empty()) {
      if (finished_) break;
      if (encoder_->quoted_printable && !body_.empty() &&
          size - copied >= QuotedPrintable::kLeastRoom) {
        std::size_t taken = 0;
        copied += encoder_->qp.Encode(body_, buffer + copied, size - copied, taken);
        body_.remove_prefix(taken);
        continue;
      }
      if (!Refill()) return Status(error::kMailComposeFailed);
      continue;
    }
    const std::size_t n = std::min(size - copied, pending_.size());
    std::memcpy(buffer + copied, pending_.data(), n);
    pending_.remove_prefix(n);
    copied += n;
  }
  return copied;
}

Result<std::string> WireMailAddress(std::string_view address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return Status(error::kMailAddressInvalid);
  const std::string_view local = address.substr(0, at);
  const std::string_view domain = address.substr(at + 1);
  // Dot-atom text holds no "@", so this is the only one. A quoted local part is not taken.
  if (local.size() > 64 || !IsDotAtom(local) || domain.empty()) {
    return Status(error::kMailAddressInvalid);
  }
  std::string wire(local);
  wire += '@';
  if (IsAddressLiteral(domain)) {
    wire += domain;
  } else {
    const std::string ascii = AsciiDomain(domain);
    if (!IsHostName(ascii)) return Status(error::kMailAddressInvalid);
    wire += ascii;
  }
  if (wire.size() > 254) return Status(error::kMailAddressInvalid);
  return wire;
}

Result<std::string> ComposeMail(const MailContent& content) {
  Result<std::unique_ptr<MailStream>> stream = MailStream::Open(content);
  if (!stream.ok()) return stream.status();
  std::string message;
  message.reserve(content.body.size() + content.body.size() / 2 + 8192);
  for (;;) {
    constexpr std::size_t kPiece = 64u << 10;
    const std::size_t at = message.size();
    message.resize(at + kPiece);
    const Result<std::size_t> read = (*stream)->Read(message.data() + at, kPiece);
    if (!read.ok()) return read.status();
    message.resize(at + *read);
    if (*read == 0) return message;
  }
}

}  // namespace webletter
