#include "services/mail/header_value.h"

#include <algorithm>

#include "base/ascii.h"
#include "services/mail/gmime_support.h"

namespace webletter {
namespace {

// Header text for GMime: valid UTF-8 (invalid sequences become U+FFFD) on one line (control
// characters, line breaks among them, become blanks).
std::string HeaderText(std::string_view text) {
  if (text.empty()) return {};
  const GlibText valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  std::string line = valid.get();
  std::replace_if(line.begin(), line.end(), IsAsciiControl, ' ');
  return line;
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
  const GlibText encoded(
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
  const bool atoms = std::all_of(words.begin(), words.end(), IsAtom);
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

}  // namespace

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

std::string MailboxListValue(std::string_view name, const std::vector<Mailbox>& mailboxes) {
  HeaderValue value(name);
  for (std::size_t i = 0; i < mailboxes.size(); ++i) {
    const std::string& address = mailboxes[i].address.wire();
    const std::string shown = HeaderText(mailboxes[i].name);
    const std::string separator = i + 1 < mailboxes.size() ? "," : "";
    if (shown.find_first_not_of(' ') == std::string::npos) {
      value.Add(address + separator);
      continue;
    }
    AddPhrase(value, shown);
    value.Add("<" + address + ">" + separator);
  }
  return value.Finish();
}

std::string ListIdValue(std::string_view list_name, std::string_view id) {
  HeaderValue value("List-Id");
  const std::string shown = HeaderText(list_name);
  if (shown.find_first_not_of(' ') != std::string::npos) AddPhrase(value, shown);
  value.Add("<" + std::string(id) + ">");
  return value.Finish();
}

std::string ListUnsubscribeValue(const std::vector<std::string>& addresses) {
  HeaderValue value("List-Unsubscribe");
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    value.Add("<" + addresses[i] + ">" + (i + 1 < addresses.size() ? "," : ""));
  }
  return value.Finish();
}

}  // namespace webletter
