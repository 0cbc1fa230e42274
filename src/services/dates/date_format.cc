#include "services/dates/date_format.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/ascii.h"
#include "services/dates/calendar.h"

namespace webletter {
namespace {

enum class TokenKind {
  kLiteral,
  kDay,  // width 1..6: d .. dddddd
  kWeekday,
  kWeek,
  kMonth,  // width 1..4: m .. mmmm
  kMinute,
  kQuarter,
  kDayOfYear,
  kYear2,
  kYear4,
  kHour,
  kSecond,
  kLongTime,
  kGeneral,
  kAmPm,        // the markers written in the format: AM/PM, am/pm, A/P, a/p
  kLocaleAmPm,  // the locale's markers: AMPM
  kDateSeparator,
  kTimeSeparator,
};

struct Token {
  TokenKind kind;
  int width = 0;
  std::string text;  // a literal, or the morning marker
  std::string pm;    // the afternoon marker
};

bool MatchesAt(std::string_view format, std::size_t at, std::string_view word) {
  return StartsWithIgnoringAsciiCase(format.substr(at), word);
}

// How many characters from `at` are the same letter as format[at], whatever their case.
int RunLength(std::string_view format, std::size_t at) {
  std::size_t end = at + 1;
  while (end < format.size() && AsciiLower(format[end]) == AsciiLower(format[at])) ++end;
  return static_cast<int>(end - at);
}

void AddLiteral(std::vector<Token>& tokens, std::string_view text) {
  if (!tokens.empty() && tokens.back().kind == TokenKind::kLiteral) {
    tokens.back().text += text;
  } else {
    tokens.push_back({TokenKind::kLiteral, 0, std::string(text), {}});
  }
}

// Reads one token at `at` into `tokens`; returns how many characters it took.
std::size_t ReadToken(std::string_view format, std::size_t at, std::vector<Token>& tokens) {
  if (MatchesAt(format, at, "am/pm")) {
    tokens.push_back({TokenKind::kAmPm, 0, std::string(format.substr(at, 2)),
                      std::string(format.substr(at + 3, 2))});
    return 5;
  }
  if (MatchesAt(format, at, "ampm")) {
    tokens.push_back({TokenKind::kLocaleAmPm, 0, {}, {}});
    return 4;
  }
  if (MatchesAt(format, at, "a/p")) {
    tokens.push_back({TokenKind::kAmPm, 0, std::string(format.substr(at, 1)),
                      std::string(format.substr(at + 2, 1))});
    return 3;
  }
  const int run = RunLength(format, at);
  const auto add = [&tokens](TokenKind kind, int width) -> std::size_t {
    tokens.push_back({kind, width, {}, {}});
    return static_cast<std::size_t>(width);
  };
  switch (AsciiLower(format[at])) {
    case 'd':
      return add(TokenKind::kDay, std::min(run, 6));
    case 'm':
      return add(TokenKind::kMonth, std::min(run, 4));
    case 'y':
      if (run >= 4) return add(TokenKind::kYear4, 4);
      if (run >= 2) return add(TokenKind::kYear2, 2);
      return add(TokenKind::kDayOfYear, 1);
    case 'h':
      return add(TokenKind::kHour, std::min(run, 2));
    case 'n':
      return add(TokenKind::kMinute, std::min(run, 2));
    case 's':
      return add(TokenKind::kSecond, std::min(run, 2));
    case 'w':
      return run >= 2 ? add(TokenKind::kWeek, 2) : add(TokenKind::kWeekday, 1);
    case 'q':
      return add(TokenKind::kQuarter, 1);
    case 'c':
      return add(TokenKind::kGeneral, 1);
    case 't':
      if (run >= 5) return add(TokenKind::kLongTime, 5);
      AddLiteral(tokens, format.substr(at, static_cast<std::size_t>(run)));
      return static_cast<std::size_t>(run);
    case '/':
      return add(TokenKind::kDateSeparator, 1);
    case ':':
      return add(TokenKind::kTimeSeparator, 1);
    case '\\': {
      if (at + 1 == format.size()) break;  // a final backslash stays as it stands
      const std::size_t length = Utf8LeadLength(format[at + 1]);
      AddLiteral(tokens, format.substr(at + 1, length));
      return 1 + std::min(length, format.size() - at - 1);
    }
    case '"': {
      const std::size_t close = format.find('"', at + 1);
      const std::size_t end = close == std::string_view::npos ? format.size() : close;
      AddLiteral(tokens, format.substr(at + 1, end - at - 1));
      return (close == std::string_view::npos ? end : end + 1) - at;
    }
    default:
      break;
  }
  AddLiteral(tokens, format.substr(at, 1));
  return 1;
}

bool IsLiteral(TokenKind kind) {
  return kind == TokenKind::kLiteral || kind == TokenKind::kDateSeparator ||
         kind == TokenKind::kTimeSeparator;
}

// The tokens of `format`, with an m or mm turned into minutes where the token just before it,
// literals and separators aside, is an hour: "hh:mm" is minutes, "hh:ss:mm" the month.
std::vector<Token> Tokenize(std::string_view format) {
  std::vector<Token> tokens;
  for (std::size_t at = 0; at < format.size();) at += ReadToken(format, at, tokens);
  TokenKind previous = TokenKind::kLiteral;
  for (Token& token : tokens) {
    if (IsLiteral(token.kind)) continue;
    if (token.kind == TokenKind::kMonth && token.width <= 2 && previous == TokenKind::kHour) {
      token.kind = TokenKind::kMinute;
    }
    previous = token.kind;
  }
  return tokens;
}

// The formats that have a name, standing alone as the whole format (in any letter case).
struct NamedFormat {
  std::string_view name;
  std::string_view format;
};
constexpr std::array<NamedFormat, 7> kNamedFormats{{
    {"general date", "c"},
    {"long date", "dddddd"},
    {"medium date", "dd-mmm-yy"},
    {"short date", "ddddd"},
    {"long time", "ttttt"},
    {"medium time", "hh:nn AMPM"},
    {"short time", "hh:nn"},
}};

std::string_view WithNamedFormat(std::string_view format) {
  for (const NamedFormat& named : kNamedFormats) {
    if (format.size() == named.name.size() && MatchesAt(format, 0, named.name)) {
      return named.format;
    }
  }
  return format;
}

void AppendNumber(int value, int width, std::string& out) {
  const std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width)
    out.append(static_cast<std::size_t>(width) - digits.size(), '0');
  out += digits;
}

// The hour as a 24-hour clock shows it, or a 12-hour clock (12, 1 .. 11).
int HourOnClock(int hour, bool twelve_hour) {
  if (!twelve_hour) return hour;
  return hour % 12 == 0 ? 12 : hour % 12;
}

int WeekOfYear(const CivilDateTime& when) {
  const int weekday_of_1_january = ((when.weekday - (when.day_of_year - 1)) % 7 + 7) % 7;
  return (when.day_of_year - 1 + weekday_of_1_january) / 7 + 1;
}

std::string GeneralForm(const CivilDateTime& when, const LocaleText& locale) {
  std::string text = locale.ShortDate(when);
  if (when.hour != 0 || when.minute != 0 || when.second != 0) {
    text += ' ';
    text += locale.LongTime(when);
  }
  return text;
}

void AppendDay(int width, const CivilDateTime& when, const LocaleText& locale, std::string& out) {
  switch (width) {
    case 1:
    case 2:
      AppendNumber(when.day, width, out);
      break;
    case 3:
      out += locale.day_abbreviations[when.WeekdayIndex()];
      break;
    case 4:
      out += locale.day_names[when.WeekdayIndex()];
      break;
    case 5:
      out += locale.ShortDate(when);
      break;
    default:
      out += locale.LongDate(when);
      break;
  }
}

void AppendMonth(int width, const CivilDateTime& when, const LocaleText& locale, std::string& out) {
  if (width <= 2) {
    AppendNumber(when.month, width, out);
  } else if (width == 3) {
    out += locale.month_abbreviations[when.MonthIndex()];
  } else {
    out += locale.month_names[when.MonthIndex()];
  }
}

void AppendToken(const Token& token, bool twelve_hour, const CivilDateTime& when,
                 const LocaleText& locale, std::string& out) {
  switch (token.kind) {
    case TokenKind::kLiteral:
      out += token.text;
      break;
    case TokenKind::kDay:
      AppendDay(token.width, when, locale, out);
      break;
    case TokenKind::kWeekday:
      AppendNumber(when.weekday + 1, 1, out);
      break;
    case TokenKind::kWeek:
      AppendNumber(WeekOfYear(when), 1, out);
      break;
    case TokenKind::kMonth:
      AppendMonth(token.width, when, locale, out);
      break;
    case TokenKind::kMinute:
      AppendNumber(when.minute, token.width, out);
      break;
    case TokenKind::kQuarter:
      AppendNumber((when.month - 1) / 3 + 1, 1, out);
      break;
    case TokenKind::kDayOfYear:
      AppendNumber(when.day_of_year, 1, out);
      break;
    case TokenKind::kYear2:
      AppendNumber(when.year % 100, 2, out);
      break;
    case TokenKind::kYear4:
      AppendNumber(when.year, 4, out);
      break;
    case TokenKind::kHour:
      AppendNumber(HourOnClock(when.hour, twelve_hour), token.width, out);
      break;
    case TokenKind::kSecond:
      AppendNumber(when.second, token.width, out);
      break;
    case TokenKind::kLongTime:
      out += locale.LongTime(when);
      break;
    case TokenKind::kGeneral:
      out += GeneralForm(when, locale);
      break;
    case TokenKind::kAmPm:
      out += when.hour < 12 ? token.text : token.pm;
      break;
    case TokenKind::kLocaleAmPm: {
      // Locales without markers (de_DE, fr_FR) would leave the 12-hour clock unmarked.
      const std::string& marker = when.hour < 12 ? locale.am_marker : locale.pm_marker;
      out += marker.empty() ? (when.hour < 12 ? "AM" : "PM") : marker;
      break;
    }
    case TokenKind::kDateSeparator:
      out += locale.date_separator;
      break;
    case TokenKind::kTimeSeparator:
      out += locale.time_separator;
      break;
  }
}

}  // namespace

Result<std::string> FormatDate(double date, std::string_view format, const LocaleText& locale) {
  const Result<CivilDateTime> when = CivilFromDate(date);
  if (!when.ok()) return when.status();
  if (format.empty()) return GeneralForm(*when, locale);

  const std::vector<Token> tokens = Tokenize(WithNamedFormat(format));
  const bool twelve_hour = std::any_of(tokens.begin(), tokens.end(), [](const Token& token) {
    return token.kind == TokenKind::kAmPm || token.kind == TokenKind::kLocaleAmPm;
  });
  std::string text;
  for (const Token& token : tokens) AppendToken(token, twelve_hour, *when, locale, text);
  return text;
}

}  // namespace webletter
