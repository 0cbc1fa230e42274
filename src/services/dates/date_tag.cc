#include "services/dates/date_tag.h"

#include <string_view>

#include "base/standard_messages.h"
#include "services/dates/calendar.h"
#include "services/dates/date_format.h"

namespace webletter {
namespace {

// Mark positions are 16-bit signed integers: the first mark must leave room for the search
// that starts one character after it.
constexpr std::size_t kMaxMarkPosition = 32767;

// The 1-based character position of the byte at `byte_index` of UTF-8 `text`.
std::size_t CharacterPosition(std::string_view text, std::size_t byte_index) {
  std::size_t position = 1;
  for (std::size_t i = 0; i < byte_index; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++position;
  }
  return position;
}

// `text` with every occurrence of `tag`, left to right and without overlaps, replaced.
std::string ReplaceAll(std::string_view text, std::string_view tag, std::string_view by) {
  std::string result;
  std::size_t from = 0;
  for (std::size_t at = text.find(tag); at != std::string_view::npos; at = text.find(tag, from)) {
    result.append(text.substr(from, at - from));
    result.append(by);
    from = at + tag.size();
  }
  result.append(text.substr(from));
  return result;
}

}  // namespace

Result<std::string> FillDateTag(std::string& text, std::optional<double> offset_days) {
  if (text.find('#') == std::string::npos) return text;
  return FillDateTag(text, offset_days, LocalToday(), LocaleText::FromCurrentLocale());
}

Result<std::string> FillDateTag(std::string& text, std::optional<double> offset_days, double today,
                                const LocaleText& locale) {
  const std::size_t first = text.find('#');
  if (first == std::string::npos) return text;
  const std::size_t first_position = CharacterPosition(text, first);
  if (first_position >= kMaxMarkPosition) return Status(error::kOverflow);
  const std::size_t second = text.find('#', first + 1);
  if (second == std::string::npos) return text;
  const std::string_view between = std::string_view(text).substr(first + 1, second - first - 1);
  if (first_position + CharacterPosition(between, between.size()) > kMaxMarkPosition) {
    return Status(error::kOverflow);
  }

  const std::string format(between);
  const Result<std::string> date = FormatDate(today + offset_days.value_or(0.0), format, locale);
  if (!date.ok()) return date.status();
  text = ReplaceAll(text, "#" + format + "#", *date);
  return text;
}

}  // namespace webletter
