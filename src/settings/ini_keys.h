// The names the program reads and writes in webletter.ini: one table of keys, spelt as the file
// has them ("SMTPserver", not "SmtpServer"), and the section that every job falls back on and
// where the window keeps its fields. Names match the file's without regard to case (settings.h).
#ifndef WEBLETTER_SETTINGS_INI_KEYS_H_
#define WEBLETTER_SETTINGS_INI_KEYS_H_

#include <string_view>

namespace webletter {

// The section whose values fill in what a job's own section leaves empty; the window's fields.
inline constexpr std::string_view kDefaultSection = "Default";

enum class IniKey {
  kUrl,
  kToName,
  kToAddress,
  kFromName,
  kFromAddress,
  kSmtpServer,
  kSubject,
  kCheckContent,
  kErrorsGoTo,
  kErrorsFrom,
  kDateOffset,
  // A newsletter's keys: none of them makes a section count as found.
  kPlainText,
  kAbsoluteLinks,
  kListUnsubscribe,
  kListId,
};

// The key's name as written in the file.
constexpr std::string_view IniKeyName(IniKey key) {
  switch (key) {
    case IniKey::kUrl:
      return "URL";
    case IniKey::kToName:
      return "ToName";
    case IniKey::kToAddress:
      return "ToAddress";
    case IniKey::kFromName:
      return "FromName";
    case IniKey::kFromAddress:
      return "FromAddress";
    case IniKey::kSmtpServer:
      return "SMTPserver";
    case IniKey::kSubject:
      return "Subject";
    case IniKey::kCheckContent:
      return "CheckContent";
    case IniKey::kErrorsGoTo:
      return "ErrorsGoTo";
    case IniKey::kErrorsFrom:
      return "ErrorsFrom";
    case IniKey::kDateOffset:
      return "DateOffset";
    case IniKey::kPlainText:
      return "PlainText";
    case IniKey::kAbsoluteLinks:
      return "AbsoluteLinks";
    case IniKey::kListUnsubscribe:
      return "ListUnsubscribe";
    case IniKey::kListId:
      return "ListId";
  }
  return {};
}

}  // namespace webletter

#endif  // WEBLETTER_SETTINGS_INI_KEYS_H_
