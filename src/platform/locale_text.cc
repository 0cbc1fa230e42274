#include "platform/locale_text.h"

#include <ctime>

namespace webletter {

std::string NowAsText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, length);
}

}  // namespace webletter
