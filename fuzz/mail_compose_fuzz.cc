// Message composition: whatever the subject, names, addresses, list and body, the message is
// 7-bit with CR LF line ends and no line over 998 characters, holds exactly the headers the
// program writes, each once, and GMime's own parser reads back the subject, the body's bytes and
// the text alternative.
//
// Input fields (NUL-separated): subject, sender name, recipient name, sender address, recipient
// address, charset, flags (bit 0: HTML; bit 1: the subject also as the text alternative; bit 2:
// the list of ListId and ListUnsubscribe given as the two names), body.
#include <gmime/gmime.h>

#include <set>
#include <string>
#include <tuple>

#include "fuzz_fields.h"
#include "services/mail/mailing_list.h"
#include "services/mail/smtp_mailer.h"

namespace {

// The content of a leaf part, transfer encoding undone.
std::string Decoded(GMimeObject* part) {
  if (!GMIME_IS_PART(part)) return "(not a leaf part)";
  GByteArray* bytes = g_byte_array_new();
  GMimeStream* decoded = g_mime_stream_mem_new_with_byte_array(bytes);
  g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), decoded);
  std::string content(reinterpret_cast<char*>(bytes->data), bytes->len);
  g_object_unref(decoded);
  return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using fuzz::Check;
  const auto fields = fuzz::Fields(data, size, 8);
  const std::string_view subject = fields[0], body = fields[7];
  const int flags = fields[6].empty() ? 0 : fields[6][0];
  const bool html = (flags & 1) != 0;
  const bool alternative = (flags & 2) != 0;
  const Result<MailingList> list = (flags & 4) != 0 ? ParseMailingList(fields[1], fields[2])
                                                    : Result<MailingList>(MailingList{});
  SmtpMailer mailer;
  if (!mailer.MailFrom(fields[3].empty() ? "from@example.org" : fields[3]).ok() ||
      !mailer.AddRecipient(fields[4].empty() ? "to@example.org" : fields[4], fields[2]).ok() ||
      !mailer.MailBody(std::string(body), fields[5].empty() ? "utf-8" : fields[5]).ok()) {
    return 0;
  }
  std::ignore = mailer.MailFromName(fields[1]);  // these three take anything
  std::ignore = mailer.MailSubject(subject);
  std::ignore = mailer.AsHtml(html);
  if (alternative) std::ignore = mailer.MailPlainText(std::string(subject));
  if (list.ok()) std::ignore = mailer.MailList(*list);
  const Result<std::string> composed = mailer.ComposeMessage();
  Check(composed.ok(), "a message whose parts were taken composes");
  const std::string& message = *composed;

  std::multiset<std::string> names;
  for (std::size_t at = 0, end; at < message.size(); at = end + 2) {
    end = message.find("\r\n", at);
    const std::string line = message.substr(at, end - at);
    Check(end != std::string::npos && line.size() <= 998 && line.find_first_of("\r\n") == line.npos,
          "lines end in CR LF and hold at most 998 characters", message);
    for (const char c : line) Check(c > 0, "the message is 7-bit without NUL", message);
    if (names.contains("") || line.starts_with(' ') || line.starts_with('\t')) continue;
    std::string name = line.substr(0, line.find(':'));  // "" for the end of the header
    for (char& c : name) c = g_ascii_tolower(c);
    names.insert(name);
  }
  std::multiset<std::string> expected{"",        "content-type", "date",
                                      "from",    "message-id",   "mime-version",
                                      "subject", "to",           "x-mailer"};
  if (!alternative) expected.insert("content-transfer-encoding");
  if (list.ok() && !list->id.empty()) expected.insert("list-id");
  if (list.ok() && !list->unsubscribe.empty()) expected.insert("list-unsubscribe");
  if (list.ok() && list->one_click()) expected.insert("list-unsubscribe-post");
  Check(names == expected, "exactly the expected headers, each once", message);

  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  Check(parsed != nullptr, "GMime reads the message", message);
  char* one_line = g_utf8_make_valid(subject.data(), static_cast<gssize>(subject.size()));
  for (char* c = one_line; *c != '\0'; ++c) *c = (*c > 0 && *c < 0x20) || *c == 0x7f ? ' ' : *c;
  const char* read_subject = g_mime_message_get_subject(parsed);
  Check(std::string_view(read_subject ? read_subject : "") == one_line,
        "the subject reads back, on one line and as valid UTF-8", message);
  GMimeObject* part = g_mime_message_get_mime_part(parsed);
  if (alternative) {
    Check(GMIME_IS_MULTIPART(part) && g_mime_multipart_get_count(GMIME_MULTIPART(part)) == 2,
          "a text alternative makes two parts", message);
    std::string lines;  // the text with CR LF line ends
    for (std::size_t i = 0; i < subject.size(); ++i) {
      const bool pair = subject[i] == '\r' && i + 1 < subject.size() && subject[i + 1] == '\n';
      lines += subject[i] == '\r' || subject[i] == '\n' ? "\r\n" : std::string(1, subject[i]);
      i += pair;
    }
    Check(Decoded(g_mime_multipart_get_part(GMIME_MULTIPART(part), 0)) == lines,
          "the first part decodes to the text", message);
    part = g_mime_multipart_get_part(GMIME_MULTIPART(part), 1);
  }
  Check(GMIME_IS_PART(part) && g_mime_content_type_is_type(g_mime_object_get_content_type(part),
                                                           "text", html ? "html" : "plain"),
        "one text part, HTML or plain as asked", message);
  Check(Decoded(part) == body, "the body decodes to the bytes given", message);
  g_free(one_line);
  for (const gpointer object : {gpointer(parsed), gpointer(parser), gpointer(stream)})
    g_object_unref(object);
  return 0;
}
