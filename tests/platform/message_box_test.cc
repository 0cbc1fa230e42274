#include "platform/message_box.h"

#include <sstream>

#include "gtest/gtest.h"

namespace webletter {
namespace {

TEST(ConsoleMessageBoxTest, WritesEveryKindOfLineBreakAsNewline) {
  struct Case {
    std::string_view text;
    std::string_view shown;
  };
  const Case cases[] = {
      {"", "\n"},
      {"one", "one\n"},
      {"a\rb\r\nc\nd", "a\nb\nc\nd\n"},
      {"ends\r\n", "ends\n"},
      {"\r\r\n\n", "\n\n\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    ConsoleMessageBox box(out);
    box.Show(c.text, MessageStyle::kCritical);
    EXPECT_EQ(out.str(), c.shown) << "text: " << c.text;
  }
}

}  // namespace
}  // namespace webletter
