// Message composition takes any subject, names, addresses and body: nothing crashes, an address
// that is not one plain addr-spec is refused, and the message that comes out has exactly the
// headers the program writes, each once, nothing injected; every line ends in CR LF, stays 7-bit
// and within 998 characters; the addresses read back as taken, one sender and one mailbox per
// recipient; the subject and the names decode to the text given (line breaks and other control
// characters as blanks, invalid UTF-8 as U+FFFD); and the body decodes to the bytes that went in.
//
// Input fields (NUL-separated): subject, sender name, recipient name, body, sender address,
// recipient address, second recipient's name and address (added when the address is there),
// charset, flags (bit 0: HTML).
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_fields.h"
#include "platform/standard_messages.h"
#include "services/smtp_mailer.h"

namespace webletter::fuzz {
namespace {

constexpr std::size_t kMaxLine = 998;  // without the CR LF

const std::set<std::string> kExpectedHeaders = {
    "date",     "message-id",   "mime-version",
    "from",     "to",           "subject",
    "x-mailer", "content-type", "content-transfer-encoding"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lower;
}

// Splits at CR LF; checks on the way that no CR or LF stands alone and every line fits.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    Check(end != std::string_view::npos, "the message ends with CR LF");
    const std::string_view line = text.substr(0, end);
    Check(line.find_first_of("\r\n") == std::string_view::npos, "no bare CR or LF");
    Check(line.size() <= kMaxLine, "no line is longer than 998 characters");
    lines.push_back(line);
    text.remove_prefix(end + 2);
  }
  return lines;
}

// Header name (lower case) to its unfolded value, each name once.
std::map<std::string, std::string> ParseHeaders(const std::vector<std::string_view>& lines) {
  std::map<std::string, std::string> headers;
  std::string* current = nullptr;
  for (const std::string_view line : lines) {
    Check(!line.empty(), "the header block holds no blank line");
    if (line.front() == ' ' || line.front() == '\t') {
      Check(current != nullptr, "a continuation follows a header");
      *current += line;
      continue;
    }
    const std::size_t colon = line.find(':');
    Check(colon != std::string_view::npos && colon > 0, "a header line has a name");
    const std::string_view name = line.substr(0, colon);
    Check(std::all_of(name.begin(), name.end(), [](char c) { return c > 32 && c < 127; }),
          "a header name is printable ASCII");
    const auto [it, added] = headers.emplace(Lower(name), std::string(line.substr(colon + 1)));
    Check(added, "no header appears twice");
    current = &it->second;
  }
  return headers;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(const std::vector<std::string_view>& lines) {
  std::string out;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string_view line = lines[n];
    Check(line.empty() || (line.back() != ' ' && line.back() != '\t'),
          "quoted-printable lines keep no trailing blank");
    bool soft_break = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '=') {
        out += line[i];
        continue;
      }
      if (i + 1 == line.size()) {
        soft_break = true;
        break;
      }
      Check(i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 && HexDigit(line[i + 2]) >= 0,
            "quoted-printable escapes are two hex digits");
      out += static_cast<char>(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
      i += 2;
    }
    if (!soft_break) out += "\r\n";
  }
  return out;
}

std::string DecodeBase64(const std::vector<std::string_view>& lines) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  bool padded = false;
  for (const std::string_view line : lines) {
    for (const char c : line) {
      if (c == '=') {
        padded = true;
        continue;
      }
      Check(!padded, "base64 padding comes last");
      const std::size_t digit = kAlphabet.find(c);
      Check(digit != std::string_view::npos, "base64 holds only its alphabet");
      bits = (bits << 6) | static_cast<unsigned>(digit);
      count += 6;
      if (count >= 8) {
        count -= 8;
        out += static_cast<char>((bits >> count) & 0xFF);
      }
    }
  }
  return out;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// The ASCII form of a domain, in lower case.
std::string AsciiDomain(std::string_view domain) {
  char* ascii = g_hostname_to_ascii(std::string(domain).c_str());
  std::string text = ascii == nullptr ? std::string(domain) : ascii;
  g_free(ascii);
  return Lower(text);
}

struct Mailbox {
  std::string address;
  std::string name;
  // GMime reads a domain back in its Unicode form, or in lower case: domains compare in ASCII.
  bool operator==(const Mailbox& other) const {
    const std::size_t at = address.rfind('@');
    const std::size_t other_at = other.address.rfind('@');
    return name == other.name && at != std::string::npos && other_at != std::string::npos &&
           address.substr(0, at) == other.address.substr(0, other_at) &&
           AsciiDomain(address.substr(at + 1)) == AsciiDomain(other.address.substr(other_at + 1));
  }
};

// The mailboxes of one header, read back by GMime's own parser.
std::vector<Mailbox> Mailboxes(std::string_view value) {
  InternetAddressList* list = internet_address_list_parse(nullptr, std::string(value).c_str());
  Check(list != nullptr, "an address header parses");
  std::vector<Mailbox> mailboxes;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    Check(INTERNET_ADDRESS_IS_MAILBOX(address), "an address header holds mailboxes only");
    const char* name = internet_address_get_name(address);
    mailboxes.push_back(
        {internet_address_mailbox_get_addr(reinterpret_cast<InternetAddressMailbox*>(address)),
         name == nullptr ? "" : name});
  }
  g_object_unref(list);
  return mailboxes;
}

// The unfolded text of an unstructured header, encoded words decoded by GMime.
std::string DecodedText(std::string_view value) {
  if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  char* decoded = g_mime_utils_header_decode_text(nullptr, std::string(value).c_str());
  std::string text = decoded;
  g_free(decoded);
  return text;
}

// What the composer makes of a subject or a name: valid UTF-8 on one line. For a name, as GMime
// reads it back: without blanks at either end (GMime drops them), so a blank name is none.
std::string HeaderText(std::string_view text, bool name) {
  if (text.empty()) return {};
  char* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string line = valid;
  g_free(valid);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return name ? Trim(line) : line;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct Recipient {
  std::string_view name;
  std::string_view address;
};

}  // namespace
}  // namespace webletter::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace webletter;
  using namespace webletter::fuzz;
  const Fields fields(data, size);
  const std::string_view subject = fields[0];
  const std::string_view body = fields[3];
  const std::string_view charset = fields[8].empty() ? "utf-8" : fields[8];
  const bool html = !fields[9].empty() && (fields[9].front() & 1) != 0;

  SmtpMailer mailer;
  const std::string_view from = fields[4].empty() ? "sender@example.org" : fields[4];
  // An address refused is refused as invalid (or missing, when it is all blanks), and the
  // message is not composed.
  auto taken = [](Status status) {
    Check(status.ok() || status.number() == error::kMailAddressInvalid ||
              status.number() == error::kMailNoSender || status.number() == error::kMailNoRecipient,
          "an address is taken or refused as invalid or missing");
    return status.ok();
  };
  if (!taken(mailer.MailFrom(from))) return 0;
  mailer.MailFromName(fields[1]);
  std::vector<Recipient> recipients{{fields[2], fields[5].empty() ? "to@example.org" : fields[5]}};
  if (!fields[7].empty()) recipients.push_back({fields[6], fields[7]});
  for (const Recipient& recipient : recipients) {
    if (!taken(mailer.AddRecipient(recipient.address, recipient.name))) return 0;
  }
  mailer.MailSubject(subject);
  if (!mailer.MailBody(body, charset).ok()) return 0;
  mailer.AsHtml(html);

  const Result<std::string> composed = mailer.ComposeMessage();
  Check(composed.ok(), "a message with valid parts composes");
  const std::string_view message = *composed;
  FailureContext() = message;
  // An address taken goes into the headers as given, without blanks around it, or with its domain
  // in ASCII (xn--) form.
  auto wire = [](std::string_view address) {
    address.remove_prefix(std::min(address.find_first_not_of(' '), address.size()));
    address.remove_suffix(address.size() - (address.find_last_not_of(' ') + 1));
    const Result<std::string> ascii = WireMailAddress(address);
    Check(ascii.ok() && IsAscii(*ascii), "an address taken has an ASCII form");
    Check(!IsAscii(address) || *ascii == address, "an ASCII address is taken as it is");
    return *ascii;
  };
  std::vector<Mailbox> to;
  for (const Recipient& recipient : recipients) {
    to.push_back({wire(recipient.address), HeaderText(recipient.name, true)});
  }
  Check(message.find('\0') == std::string_view::npos, "the message holds no NUL");
  Check(IsAscii(message), "the message is 7-bit");

  const std::size_t split = message.find("\r\n\r\n");
  Check(split != std::string_view::npos, "a blank line ends the header");
  const std::map<std::string, std::string> headers =
      ParseHeaders(Lines(message.substr(0, split + 2)));
  std::set<std::string> names;
  for (const auto& [name, value] : headers) names.insert(name);
  Check(names == kExpectedHeaders, "exactly the expected headers");

  Check(Mailboxes(headers.at("from")) ==
            std::vector<Mailbox>{{wire(from), HeaderText(fields[1], true)}},
        "From holds the sender alone, with the name given");
  Check(Mailboxes(headers.at("to")) == to, "To holds the recipients alone, with the names given");
  Check(DecodedText(headers.at("subject")) == HeaderText(subject, false),
        "the subject decodes to the text given");

  const std::string type = Lower(Trim(headers.at("content-type")));
  Check(type.starts_with(html ? "text/html;" : "text/plain;"), "the part's type");
  const std::string encoding = Lower(Trim(headers.at("content-transfer-encoding")));
  const std::vector<std::string_view> body_lines = Lines(message.substr(split + 4));
  if (encoding == "base64") {
    Check(DecodeBase64(body_lines) == body, "a base64 body decodes to its bytes");
  } else {
    Check(encoding == "quoted-printable", "the body is base64 or quoted-printable");
    Check(DecodeQuotedPrintable(body_lines) == body,
          "a quoted-printable body decodes to its bytes");
  }
  return 0;
}
