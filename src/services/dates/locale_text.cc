#include "services/dates/locale_text.h"

#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "base/ascii.h"

namespace webletter {
namespace {

constexpr std::string_view kFlags = "-_0^#";
constexpr std::string_view kFallbackDateSeparator = "/";
constexpr std::string_view kFallbackTimeSeparator = ":";
constexpr std::size_t kMaxSeparatorLength = 3;

// Converts the locale's texts from its codeset to UTF-8. Bytes that do not convert become "?";
// where the codeset has no converter, every byte outside ASCII does.
class Utf8Converter {
 public:
  explicit Utf8Converter(const std::string& codeset) : pass_through_(IsUtf8(codeset)) {
    if (!pass_through_) descriptor_ = iconv_open("UTF-8", codeset.c_str());
  }
  ~Utf8Converter() {
    if (descriptor_ != kNone) iconv_close(descriptor_);
  }
  Utf8Converter(const Utf8Converter&) = delete;
  Utf8Converter& operator=(const Utf8Converter&) = delete;

  std::string operator()(const char* text) const {
    std::string input = text == nullptr ? "" : text;
    if (pass_through_) return input;
    if (descriptor_ == kNone) return AsciiOnly(std::move(input));
    return Convert(std::move(input));
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));

  static bool IsUtf8(std::string_view codeset) {
    return EqualsIgnoringAsciiCase(codeset, "UTF-8") || EqualsIgnoringAsciiCase(codeset, "UTF8");
  }

  static std::string AsciiOnly(std::string text) {
    for (char& c : text) {
      if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return text;
  }

  std::string Convert(std::string input) const {
    std::string output;
    char* in = input.data();
    std::size_t in_left = input.size();
    char buffer[256];
    while (in_left > 0) {
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t converted = iconv(descriptor_, &in, &in_left, &out, &out_left);
      output.append(buffer, static_cast<std::size_t>(out - buffer));
      if (converted == static_cast<std::size_t>(-1) && errno != E2BIG) {
        output += '?';  // a byte without meaning in the codeset, or a cut-off sequence
        ++in;
        --in_left;
      }
    }
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
    return output;
  }

  bool pass_through_;
  iconv_t descriptor_ = kNone;
};

// The codeset of LC_TIME's texts, which may differ from LC_CTYPE's.
std::string TimeCodeset() {
  const char* codeset = nl_langinfo(_NL_TIME_CODESET);
  if (codeset == nullptr || *codeset == '\0') codeset = nl_langinfo(CODESET);
  return codeset == nullptr ? "" : codeset;
}

// One strftime conversion of a form: its flag, its letter and where it ends.
struct Conversion {
  char flag = 0;
  char letter = 0;
  std::size_t end = 0;  // index after the letter
};

// Reads the conversion that starts with the "%" at `start`; letter 0 when the form ends first.
Conversion ReadConversion(std::string_view form, std::size_t start) {
  Conversion conversion;
  std::size_t i = start + 1;
  for (; i < form.size() && kFlags.find(form[i]) != std::string_view::npos; ++i) {
    if (form[i] != '^' && form[i] != '#') conversion.flag = form[i];
  }
  while (i < form.size() && IsAsciiDigit(form[i])) ++i;
  if (i < form.size() && (form[i] == 'E' || form[i] == 'O')) ++i;
  if (i < form.size()) conversion.letter = form[i++];
  conversion.end = i;
  return conversion;
}

void AppendNumber(int value, int width, char pad, char flag, std::string& out) {
  if (flag == '-') width = 0;
  if (flag == '_') pad = ' ';
  if (flag == '0') pad = '0';
  const std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out += pad;
  out += digits;
}

// The literal text after the first field of `form`, as a separator; `fallback` when there is
// none that looks like one.
std::string SeparatorOf(std::string_view form, std::string_view fallback) {
  const std::size_t percent = form.find('%');
  if (percent == std::string_view::npos) return std::string(fallback);
  const Conversion first = ReadConversion(form, percent);
  switch (first.letter) {
    case 'D':
      return "/";
    case 'F':
      return "-";
    case 'T':
    case 'R':
    case 'r':
      return ":";
    default:
      break;
  }
  std::string_view literal = form.substr(first.end);
  literal = literal.substr(0, literal.find('%'));
  while (!literal.empty() && literal.back() == ' ') literal.remove_suffix(1);
  while (!literal.empty() && literal.front() == ' ') literal.remove_prefix(1);
  if (literal.empty() || literal.size() > kMaxSeparatorLength) return std::string(fallback);
  for (const char c : literal) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || !std::ispunct(byte)) return std::string(fallback);
  }
  return std::string(literal);
}

// The fields ('D' day, 'M' month, 'Y' year) that one conversion shows, in their order.
std::string_view FieldsOf(char letter) {
  switch (letter) {
    case 'D':
      return "MDY";
    case 'F':
      return "YMD";
    case 'd':
    case 'e':
      return "D";
    case 'm':
    case 'b':
    case 'B':
    case 'h':
      return "M";
    case 'y':
    case 'Y':
      return "Y";
    default:
      return "";
  }
}

// 'D', 'M' and 'Y' in the order the short date shows day, month and year.
std::string FieldOrder(std::string_view form) {
  std::string order;
  for (std::size_t i = form.find('%'); i != std::string_view::npos; i = form.find('%', i)) {
    const Conversion conversion = ReadConversion(form, i);
    for (const char field : FieldsOf(conversion.letter)) {
      if (order.find(field) == std::string::npos) order += field;
    }
    i = conversion.end;
  }
  return order;
}

std::string LongDateForm(std::string_view short_form, std::string_view date_separator) {
  const std::string order = FieldOrder(short_form);
  if (order.starts_with('Y')) return "%Y %B %-d, %A";
  const std::size_t month = order.find('M');
  const std::size_t day = order.find('D');
  if (month != std::string::npos && (day == std::string::npos || month < day)) {
    return "%A, %B %-d, %Y";
  }
  if (date_separator == ".") return "%A, %-d. %B %Y";
  return "%A, %-d %B %Y";
}

}  // namespace

LocaleText LocaleText::FromCurrentLocale() {
  const Utf8Converter utf8(TimeCodeset());
  LocaleText text;
  for (std::size_t i = 0; i < text.day_names.size(); ++i) {
    const int offset = static_cast<int>(i);
    text.day_names[i] = utf8(nl_langinfo(static_cast<nl_item>(DAY_1 + offset)));
    text.day_abbreviations[i] = utf8(nl_langinfo(static_cast<nl_item>(ABDAY_1 + offset)));
  }
  for (std::size_t i = 0; i < text.month_names.size(); ++i) {
    const int offset = static_cast<int>(i);
    text.month_names[i] = utf8(nl_langinfo(static_cast<nl_item>(MON_1 + offset)));
    text.month_abbreviations[i] = utf8(nl_langinfo(static_cast<nl_item>(ABMON_1 + offset)));
  }
  text.am_marker = utf8(nl_langinfo(AM_STR));
  text.pm_marker = utf8(nl_langinfo(PM_STR));
  text.short_date_form = utf8(nl_langinfo(D_FMT));
  text.long_time_form = utf8(nl_langinfo(T_FMT));
  if (text.short_date_form.empty()) text.short_date_form = "%m/%d/%y";
  if (text.long_time_form.empty()) text.long_time_form = "%H:%M:%S";
  text.date_separator = SeparatorOf(text.short_date_form, kFallbackDateSeparator);
  text.time_separator = SeparatorOf(text.long_time_form, kFallbackTimeSeparator);
  text.long_date_form = LongDateForm(text.short_date_form, text.date_separator);
  return text;
}

std::string LocaleText::Render(std::string_view form, const CivilDateTime& when) const {
  std::string out;
  std::size_t i = 0;
  while (i < form.size()) {
    if (form[i] != '%') {
      out += form[i++];
      continue;
    }
    const Conversion conversion = ReadConversion(form, i);
    const char flag = conversion.flag;
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    switch (conversion.letter) {
      case 'a':
        out += day_abbreviations[when.WeekdayIndex()];
        break;
      case 'A':
        out += day_names[when.WeekdayIndex()];
        break;
      case 'b':
      case 'h':
        out += month_abbreviations[when.MonthIndex()];
        break;
      case 'B':
        out += month_names[when.MonthIndex()];
        break;
      case 'C':
        AppendNumber(when.year / 100, 2, '0', flag, out);
        break;
      case 'd':
        AppendNumber(when.day, 2, '0', flag, out);
        break;
      case 'e':
        AppendNumber(when.day, 2, ' ', flag, out);
        break;
      case 'm':
        AppendNumber(when.month, 2, '0', flag, out);
        break;
      case 'y':
        AppendNumber(when.year % 100, 2, '0', flag, out);
        break;
      case 'Y':
        AppendNumber(when.year, 1, '0', flag, out);
        break;
      case 'j':
        AppendNumber(when.day_of_year, 3, '0', flag, out);
        break;
      case 'u':
        AppendNumber(when.weekday == 0 ? 7 : when.weekday, 1, '0', flag, out);
        break;
      case 'w':
        AppendNumber(when.weekday, 1, '0', flag, out);
        break;
      case 'H':
        AppendNumber(when.hour, 2, '0', flag, out);
        break;
      case 'k':
        AppendNumber(when.hour, 2, ' ', flag, out);
        break;
      case 'I':
        AppendNumber(hour12, 2, '0', flag, out);
        break;
      case 'l':
        AppendNumber(hour12, 2, ' ', flag, out);
        break;
      case 'M':
        AppendNumber(when.minute, 2, '0', flag, out);
        break;
      case 'S':
        AppendNumber(when.second, 2, '0', flag, out);
        break;
      case 'p':
      case 'P':
        out += when.hour < 12 ? am_marker : pm_marker;
        break;
      case 'D':
        out += Render("%m/%d/%y", when);
        break;
      case 'F':
        out += Render("%Y-%m-%d", when);
        break;
      case 'T':
        out += Render("%H:%M:%S", when);
        break;
      case 'R':
        out += Render("%H:%M", when);
        break;
      case 'r':
        out += Render("%I:%M:%S %p", when);
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '%':
        out += '%';
        break;
      default:  // unknown, or the form ends within the conversion: keep it as it stands
        out += form.substr(i, conversion.end - i);
        break;
    }
    i = conversion.end;
  }
  return out;
}

std::string NowAsText() {
  const LocaleText locale = LocaleText::FromCurrentLocale();
  const CivilDateTime now = LocalNow();
  return locale.ShortDate(now) + " " + locale.LongTime(now);
}

}  // namespace webletter
