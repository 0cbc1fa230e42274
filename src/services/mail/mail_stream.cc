#include "services/mail/mail_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "base/standard_messages.h"
#include "base/version.h"
#include "services/mail/body_encoding.h"
#include "services/mail/gmime_support.h"
#include "services/mail/header_value.h"

namespace webletter {
namespace {

// Replaces the value GMime formatted for header `name` (when there is one) with `raw`.
void SetRawHeader(GMimeMessage* message, const char* name, const std::string& raw) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(As<GMimeObject>(message));
  GMimeHeader* header = g_mime_header_list_get_header(headers, name);
  if (header != nullptr) g_mime_header_set_raw_value(header, raw.c_str());
}

// The right-hand side of the Message-ID: the sender's domain when it is a host name.
std::string MessageIdDomain(const MailAddress& from) {
  const std::string_view host = from.host_name();
  return host.empty() ? "localhost.localdomain" : std::string(host);
}

// A header of the program's own text, placed by GMime.
void AddRawHeader(GMimeMessage* message, const char* name, const std::string& raw) {
  g_mime_object_set_header(As<GMimeObject>(message), name, "", nullptr);
  SetRawHeader(message, name, raw);
}

void AddListHeaders(GMimeMessage* message, const MailingList& list) {
  if (!list.id.empty()) AddRawHeader(message, "List-Id", ListIdValue(list.id_name, list.id));
  if (list.unsubscribe.empty()) return;
  AddRawHeader(message, "List-Unsubscribe", ListUnsubscribeValue(list.unsubscribe));
  if (list.one_click()) {
    AddRawHeader(message, "List-Unsubscribe-Post", " List-Unsubscribe=One-Click\n");
  }
}

void AddHeaders(GMimeMessage* message, const MailContent& content) {
  // GMime files the addresses and places the headers; the values with the user's text are then
  // written over them.
  const MailAddress& from = *content.from;
  g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_FROM, nullptr, from.wire().c_str());
  for (const Mailbox& recipient : content.to) {
    g_mime_message_add_mailbox(message, GMIME_ADDRESS_TYPE_TO, nullptr,
                               recipient.address.wire().c_str());
  }
  g_mime_message_set_subject(message, "", "utf-8");
  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message, now);
  g_date_time_unref(now);
  const GlibText message_id(g_mime_utils_generate_message_id(MessageIdDomain(from).c_str()));
  g_mime_message_set_message_id(message, message_id.get());
  g_mime_object_set_header(As<GMimeObject>(message), "X-Mailer", kProductVersion, nullptr);

  SetRawHeader(message, "From", MailboxListValue("From", {{from, content.from_name}}));
  if (!content.to.empty()) SetRawHeader(message, "To", MailboxListValue("To", content.to));
  SetRawHeader(message, "Subject", SubjectValue(content.subject));
  AddListHeaders(message, content.list);
}

GMimeContentEncoding GMimeEncoding(BodyEncoding encoding) {
  return encoding == BodyEncoding::kBase64 ? GMIME_CONTENT_ENCODING_BASE64
                                           : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
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

// The text/plain alternative: the text with CR LF line ends, encoded by GMime as it writes it.
GPtr<GMimeTextPart> TextPart(std::string_view text) {
  // Each line end grows by a byte at most: one allocation, and runs copied whole.
  const auto crs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
  const auto lfs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  std::string lines;
  lines.reserve(text.size() + crs + lfs);
  const bool has_cr = crs > 0;
  while (!text.empty()) {
    const std::size_t end =
        std::min(has_cr ? text.find_first_of("\r\n") : text.find('\n'), text.size());
    lines += text.substr(0, end);
    if (end == text.size()) break;
    lines += "\r\n";
    text.remove_prefix(text.substr(end).starts_with("\r\n") ? end + 2 : end + 1);
  }
  GPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(lines.data(), lines.size()));
  GPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(As<GMimePart>(part.get()), wrapper.get());
  g_mime_text_part_set_charset(part.get(), "utf-8");
  g_mime_part_set_content_encoding(As<GMimePart>(part.get()),
                                   GMimeEncoding(ChooseBodyEncoding(lines)));
  return part;
}

FormatOptions WireFormat() {
  FormatOptions options(g_mime_format_options_new());
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  return options;
}

// The message's parts: the body's part alone, or after the text in a multipart/alternative,
// which is returned.
GPtr<GMimeMultipart> SetParts(GMimeMessage* message, const MailContent& content,
                              GMimeTextPart* body) {
  if (!content.plain_text) {
    g_mime_message_set_mime_part(message, As<GMimeObject>(body));
    return nullptr;
  }
  GPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
  g_mime_multipart_add(alternative.get(), As<GMimeObject>(TextPart(*content.plain_text).get()));
  g_mime_multipart_add(alternative.get(), As<GMimeObject>(body));
  g_mime_message_set_mime_part(message, As<GMimeObject>(alternative.get()));
  return alternative;
}

// The message as GMime writes it.
Result<std::string> Written(GMimeMessage* message, GMimeFormatOptions* options) {
  GPtr<GMimeStream> out(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(As<GMimeObject>(message), options, out.get()) < 0 ||
      g_mime_stream_flush(out.get()) != 0) {
    return Status(error::kMailComposeFailed);
  }
  const GByteArray* bytes = g_mime_stream_mem_get_byte_array(As<GMimeStreamMem>(out.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
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

MailStream::MailStream(std::string head, std::string_view body, std::string tail,
                       std::unique_ptr<Encoder> encoder)
    : head_(std::move(head)),
      body_(body),
      end_(std::move(tail)),
      encoder_(std::move(encoder)),
      pending_(head_),
      whole_body_(body) {}

MailStream::~MailStream() = default;

long long MailStream::ExpectedSize() const {
  if (expected_size_ < 0) {
    // The quoted-printable count holds the body's own end, which end_ also holds.
    const long long body =
        base64_ ? Base64Size(whole_body_.size())
                : QuotedPrintable::EncodedSize(whole_body_) -
                      static_cast<long long>(QuotedPrintable::End(whole_body_).size());
    expected_size_ = static_cast<long long>(head_.size() + end_.size()) + body;
  }
  return expected_size_;
}

Result<std::unique_ptr<MailStream>> MailStream::Open(const MailContent& content) {
  if (!content.from) return Status(error::kMailNoSender);
  InitGMimeOnce();
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  AddHeaders(message.get(), content);
  const BodyEncoding body_encoding = ChooseBodyEncoding(content.body);
  const GMimeContentEncoding encoding = GMimeEncoding(body_encoding);
  GPtr<GMimeTextPart> part = BodyPart(content, encoding);
  const GPtr<GMimeMultipart> alternative = SetParts(message.get(), content, part.get());
  const FormatOptions options = WireFormat();
  Result<std::string> written = Written(message.get(), options.get());
  if (!written.ok()) return written.status();
  std::string head = std::move(written).value();
  // The body's part is the last and empty: its content goes where the closing boundary starts.
  std::string closing;
  if (alternative) {
    closing = std::string("\r\n--") + g_mime_multipart_get_boundary(alternative.get()) + "--\r\n";
    if (!head.ends_with(closing)) return Status(error::kMailComposeFailed);
    head.resize(head.size() - closing.size());
  }
  const bool base64 = body_encoding == BodyEncoding::kBase64;
  std::string tail = (base64 ? "" : std::string(QuotedPrintable::End(content.body))) + closing;
  std::unique_ptr<MailStream> stream(
      new MailStream(std::move(head), content.body, std::move(tail),
                     std::make_unique<Encoder>(encoding, options.get())));
  stream->base64_ = base64;
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
    g_byte_array_append(out, reinterpret_cast<const guint8*>(end_.data()),
                        static_cast<guint>(end_.size()));
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
