#include "services/mail/body_encoding.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace webletter {
namespace {

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

constexpr std::size_t kMostOnLine = 75;  // and "=" for a soft break
constexpr char kHex[] = "0123456789ABCDEF";

// How many of the sixteen bytes at `bytes` come before the first that is not printable ASCII
// or a blank, or is "=".
std::size_t LiteralRun(const char* bytes) {
  const Bytes16 v = Load16(bytes);
  return FirstSetLane((v < 0x20) | (v > 0x7e) | (v == '='));
}

// A line break or the end of the body at `at`: a blank or tab before it must be escaped.
bool LineEndsAt(std::string_view body, std::size_t at) {
  return at == body.size() || (body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n');
}

// Whether the byte at `at` goes as it is: printable ASCII but "=", or a blank or tab that no
// line break or end of the body follows.
bool IsLiteralAt(std::string_view body, std::size_t at) {
  const char c = body[at];
  if (c > ' ' && c < 0x7f) return c != '=';
  return (c == ' ' || c == '\t') && !LineEndsAt(body, at + 1);
}

}  // namespace

BodyEncoding ChooseBodyEncoding(std::string_view body) {
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
  return escaped * 6 > size ? BodyEncoding::kBase64 : BodyEncoding::kQuotedPrintable;
}

long long Base64Size(std::size_t body) {
  return static_cast<long long>((body + 2) / 3 * 4 + (body + 56) / 57 * 2);
}

std::size_t QuotedPrintable::Encode(std::string_view body, char* out, std::size_t room,
                                    std::size_t& taken) {
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

std::string_view QuotedPrintable::End(std::string_view whole_body) {
  return whole_body.empty() || whole_body.ends_with("\r\n") ? "" : "=\r\n";
}

long long QuotedPrintable::EncodedSize(std::string_view whole_body) {
  QuotedPrintable encoder;
  char scratch[16u << 10];
  long long size = static_cast<long long>(End(whole_body).size());
  for (std::string_view rest = whole_body; !rest.empty();) {
    std::size_t taken = 0;
    size += static_cast<long long>(encoder.Encode(rest, scratch, sizeof scratch, taken));
    rest.remove_prefix(taken);
  }
  return size;
}

char* QuotedPrintable::SoftBreak(char* p) {
  *p++ = '=';
  *p++ = '\r';
  *p++ = '\n';
  column_ = 0;
  return p;
}

}  // namespace webletter
