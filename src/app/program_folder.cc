#include "app/program_folder.h"

#include <filesystem>
#include <system_error>

namespace webletter {

std::string NormaliseFolder(std::string_view folder) {
  if (folder.empty()) return "/";
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  std::string result(folder);
  if (result.back() != '/') result += '/';
  return result;
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return NormaliseFolder(exe.parent_path().string());
}

}  // namespace webletter
