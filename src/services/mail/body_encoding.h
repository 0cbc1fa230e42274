// The body's transfer encoding: which one a body gets, and quoted-printable written straight
// from the body's bytes into the reader's buffer. Both keep the message 7-bit with lines of at
// most 76 characters, and both decode to exactly the body's bytes. The scans go sixteen bytes at
// a time: a large page is mailed in about the time it takes to copy.
#ifndef WEBLETTER_SERVICES_MAIL_BODY_ENCODING_H_
#define WEBLETTER_SERVICES_MAIL_BODY_ENCODING_H_

#include <cstddef>
#include <string_view>

namespace webletter {

enum class BodyEncoding { kQuotedPrintable, kBase64 };

// Quoted-printable keeps a mostly-ASCII body readable at about its own size; a body where more
// than one byte in six would be escaped goes as base64, which is shorter then. The bytes escaped
// are those always escaped (all but printable ASCII and tab) and each CR or LF that is not part
// of a CR LF pair.
BodyEncoding ChooseBodyEncoding(std::string_view body);

// The length of `body` bytes in base64 as GMime writes it: lines of 76 characters (57 bytes)
// and CR LF.
long long Base64Size(std::size_t body);

// Quoted-printable with CR LF line ends: each CR LF of the body is a line break; "=", a blank or
// tab before a line break or at the very end, and the bytes always escaped (a lone CR or LF among
// them) become "=XX"; a line holds at most 76 characters, its soft line break ("=" at the end)
// included; a body that does not end in CR LF ends with a soft line break (see End). An encoder
// serves one body, encoded from its start in pieces as the reader's room allows.
class QuotedPrintable {
 public:
  // The least room that Encode needs: a soft line break and one escaped byte.
  static constexpr std::size_t kLeastRoom = 6;

  // Encodes the first bytes of `body` (the rest of the whole body) into `out`, which has room
  // for `room` bytes, at least kLeastRoom: returns how many it wrote, and `taken` how many of the
  // body's bytes they encode, at least one.
  std::size_t Encode(std::string_view body, char* out, std::size_t room, std::size_t& taken);

  // What ends the content of a whole body.
  static std::string_view End(std::string_view whole_body);

  // The length of the whole body in quoted-printable, End included: an encoding that counts.
  static long long EncodedSize(std::string_view whole_body);

 private:
  char* SoftBreak(char* p);

  std::size_t column_ = 0;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_BODY_ENCODING_H_
