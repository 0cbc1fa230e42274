#include "services/mail_message.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>
#include <utility>

#include "platform/standard_messages.h"

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
  const GString valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  std::string line = valid.get();
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = ' ';
  }
  return line;
}

const char* NameOrNull(const std::string& name) { return name.empty() ? nullptr : name.c_str(); }

bool IsDomainText(std::string_view domain) {
  if (domain.empty() || domain.front() == '.' || domain.back() == '.') return false;
  for (const char c : domain) {
    const bool letter_or_digit =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letter_or_digit && c != '-' && c != '.') return false;
  }
  return true;
}

// The right-hand side of the Message-ID: the sender's domain when it is a plain host name.
std::string MessageIdDomain(std::string_view from_address) {
  const auto at = from_address.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view domain = from_address.substr(at + 1);
    if (IsDomainText(domain)) return std::string(domain);
  }
  return "localhost.localdomain";
}

// Quoted-printable keeps a mostly-ASCII body readable, but it carries line breaks as CR LF only
// and ends the last line with one: a body with a bare CR or LF, one whose last line has no CR LF,
// and one with many bytes that are not plain text go as base64, so that they arrive byte for byte.
GMimeContentEncoding BodyEncoding(std::string_view body) {
  if (!body.empty() && !body.ends_with("\r\n")) return GMIME_CONTENT_ENCODING_BASE64;
  std::size_t unusual = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const auto byte = static_cast<unsigned char>(body[i]);
    const bool bare_cr = byte == '\r' && (i + 1 == body.size() || body[i + 1] != '\n');
    const bool bare_lf = byte == '\n' && (i == 0 || body[i - 1] != '\r');
    if (bare_cr || bare_lf) return GMIME_CONTENT_ENCODING_BASE64;
    if (byte >= 0x80 || (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n')) {
      ++unusual;
    }
  }
  return unusual * 6 > body.size() ? GMIME_CONTENT_ENCODING_BASE64
                                   : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
}

void AddHeaders(GMimeMessage* message, const MailContent& content) {
  g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_FROM,
                             NameOrNull(HeaderText(content.from.name)),
                             content.from.address.c_str());
  for (const MailAddress& recipient : content.to) {
    const std::string name = HeaderText(recipient.name);
    g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_TO, NameOrNull(name),
                               recipient.address.c_str());
  }
  g_mime_message_set_subject(message, HeaderText(content.subject).c_str(), "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message, now);
  g_date_time_unref(now);
  const GString message_id(
      g_mime_utils_generate_message_id(MessageIdDomain(content.from.address).c_str()));
  g_mime_message_set_message_id(message, message_id.get());
  g_mime_object_set_header(As<GMimeObject>(message), "X-Mailer", "Webletter 2.00", nullptr);
}

// One text part whose content is the body's bytes as they are, labelled with their charset.
GPtr<GMimeTextPart> BodyPart(const MailContent& content, GMimeContentEncoding encoding) {
  GPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype(content.html ? "html" : "plain"));
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(content.body.array()));
  g_mime_stream_mem_set_owner(As<GMimeStreamMem>(stream.get()), FALSE);
  GPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(As<GMimePart>(part.get()), wrapper.get());
  const std::string charset = content.charset.empty() ? "utf-8" : content.charset;
  g_mime_text_part_set_charset(part.get(), charset.c_str());
  g_mime_part_set_content_encoding(As<GMimePart>(part.get()), encoding);
  return part;
}

// Room for the whole message up front, so the output buffer does not grow by doubling:
// base64 makes 4 bytes of 3 in lines of 76 plus CR LF; plain text in quoted-printable grows a
// little (escaped "=" and soft line breaks).
std::size_t ExpectedSize(std::string_view body, GMimeContentEncoding encoding) {
  constexpr std::size_t kHeaderRoom = 8192;
  if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
    const std::size_t encoded = (body.size() + 2) / 3 * 4;
    return encoded + (encoded / 76 + 1) * 2 + kHeaderRoom;
  }
  return body.size() + body.size() / 16 + kHeaderRoom;
}

}  // namespace

MailBytes::MailBytes(std::string_view bytes) {
  array_ = g_byte_array_sized_new(static_cast<guint>(bytes.size()));
  g_byte_array_append(array_, reinterpret_cast<const guint8*>(bytes.data()),
                      static_cast<guint>(bytes.size()));
}

MailBytes::~MailBytes() {
  if (array_ != nullptr) g_byte_array_unref(array_);
}

MailBytes::MailBytes(MailBytes&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}

MailBytes& MailBytes::operator=(MailBytes&& other) noexcept {
  if (this != &other) {
    if (array_ != nullptr) g_byte_array_unref(array_);
    array_ = std::exchange(other.array_, nullptr);
  }
  return *this;
}

std::string_view MailBytes::view() const {
  if (array_ == nullptr) return {};
  return {reinterpret_cast<const char*>(array_->data), array_->len};
}

GByteArray* MailBytes::array() const {
  if (array_ == nullptr) array_ = g_byte_array_new();
  return array_;
}

bool IsSafeMailAddress(std::string_view address) {
  if (address.empty()) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '<' || c == '>') return false;
  }
  return true;
}

Result<MailBytes> ComposeMail(const MailContent& content) {
  InitGMimeOnce();
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddHeaders(message.get(), content);
  const GMimeContentEncoding encoding = BodyEncoding(content.body.view());
  GPtr<GMimeTextPart> part = BodyPart(content, encoding);
  g_mime_message_set_mime_part(message.get(), As<GMimeObject>(part.get()));

  MailBytes wire;
  // Growing the array and emptying it again keeps the room: untouched, it costs no memory yet.
  g_byte_array_set_size(wire.array(),
                        static_cast<guint>(ExpectedSize(content.body.view(), encoding)));
  g_byte_array_set_size(wire.array(), 0);
  GPtr<GMimeStream> out(g_mime_stream_mem_new_with_byte_array(wire.array()));
  g_mime_stream_mem_set_owner(As<GMimeStreamMem>(out.get()), FALSE);
  const std::unique_ptr<GMimeFormatOptions, FormatOptionsFree> options(g_mime_format_options_new());
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  if (g_mime_object_write_to_stream(As<GMimeObject>(message.get()), options.get(), out.get()) < 0 ||
      g_mime_stream_flush(out.get()) != 0) {
    return Status(error::kMailComposeFailed);
  }
  return wire;
}

}  // namespace webletter
