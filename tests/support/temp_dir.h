// A temporary folder for one test, removed with everything in it when the object goes.
#ifndef WEBLETTER_TESTS_SUPPORT_TEMP_DIR_H_
#define WEBLETTER_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>
#include <string_view>

// Until every test that reads a table of cases includes it itself.
#include "support/case_rows.h"  // IWYU pragma: export

namespace webletter::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, ending in "/".
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + std::string(name); }

  void Write(std::string_view name, std::string_view content) const;
  std::string Read(std::string_view name) const;

 private:
  std::string path_;
};

// Whole file as bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view content);

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SUPPORT_TEMP_DIR_H_
