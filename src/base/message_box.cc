#include "base/message_box.h"

#include <iostream>
#include <string>

namespace webletter {

std::string ConsoleText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += text[i];
    }
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  return out;
}

ConsoleMessageBox::ConsoleMessageBox() : out_(std::cerr) {}

ConsoleMessageBox::ConsoleMessageBox(std::ostream& out) : out_(out) {}

void ConsoleMessageBox::Show(std::string_view text, MessageStyle /*style*/) {
  out_ << ConsoleText(text) << std::flush;
}

}  // namespace webletter
