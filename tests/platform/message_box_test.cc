#include "platform/message_box.h"

#include <sstream>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ConsoleMessageBoxTest, WritesEveryKindOfLineBreakAsNewline) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "\n"}, {"a\rb\r\nc\nd", "a\nb\nc\nd\n"}, {"ends\r\n", "ends\n"}, {"\r\r\n\n", "\n\n\n"}};
  for (const auto& [text, shown] : cases) {
    std::ostringstream out;
    ConsoleMessageBox(out).Show(text, MessageStyle::kCritical);
    EXPECT_EQ(out.str(), shown) << "text: " << text;
  }
}

}  // namespace
}  // namespace webletter
