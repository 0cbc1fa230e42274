// Single values of webletter.ini. Every read opens the file, finds the value and closes it again;
// every write goes straight to the file. Nothing is cached. The file's layout is described in
// ini_text.h. A write locks the file (flock) for its read-modify-write and replaces it through a
// temporary file and a rename, so readers need no lock and see the old or the new file whole.
#ifndef WEBLETTER_SETTINGS_SETTINGS_H_
#define WEBLETTER_SETTINGS_SETTINGS_H_

#include <string>
#include <string_view>

#include "settings/ini_keys.h"

namespace webletter {

class Settings {
 public:
  // `ini_path` is the settings file's full name; the file need not exist.
  explicit Settings(std::string ini_path);

  // The value of `key` in `section`, or "" when the file, the section or the key is missing or
  // unreadable. Names match without regard to case. Values of any length are read whole.
  // The program names its own keys by IniKey; any other name may be asked for too.
  std::string GetIniValue(std::string_view section, std::string_view key) const;
  std::string GetIniValue(std::string_view section, IniKey key) const {
    return GetIniValue(section, IniKeyName(key));
  }

  // Stores `value` under `key` in `section`, creating file, section or key as needed and keeping
  // every other byte of the file. A failed write is silent and leaves the old file intact.
  void WriteIniValue(std::string_view section, std::string_view key, std::string_view value) const;
  void WriteIniValue(std::string_view section, IniKey key, std::string_view value) const {
    WriteIniValue(section, IniKeyName(key), value);
  }

  // Why the file cannot be read, in the system's words ("No such file or directory", "Permission
  // denied", "not a regular file"); "" when it can be read.
  std::string ReadProblem() const;

  // Whether others than the file's owner (its group or anybody) may read it.
  bool OthersMayRead() const;

  const std::string& path() const { return ini_path_; }

 private:
  std::string ini_path_;
};

// The settings' lenient number parse: blanks are skipped wherever they stand ("- 1" is -1, "1 5"
// is 15) and the longest leading decimal number is taken ("  -1.5days" gives -1.5); text that
// does not start with a number gives 0. Blanks are spaces, tabs and line feeds; the separator is
// always ".", whatever the locale. A number too large for a double gives the largest finite one
// (with its sign); one too small gives 0.
double IniNumber(std::string_view text);

}  // namespace webletter

#endif  // WEBLETTER_SETTINGS_SETTINGS_H_
