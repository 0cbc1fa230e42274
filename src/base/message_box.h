// The program's message boxes: one text, the title "Webletter", an OK button and, for a failed
// send only, the critical icon. Whoever shows a box talks to this interface; the window brings a
// modal form of it, and ConsoleMessageBox serves where no display exists (cron, a terminal).
#ifndef WEBLETTER_BASE_MESSAGE_BOX_H_
#define WEBLETTER_BASE_MESSAGE_BOX_H_

#include <iosfwd>
#include <string>
#include <string_view>

namespace webletter {

inline constexpr std::string_view kAppTitle = "Webletter";

enum class MessageStyle {
  kPlain,     // OK button only, no icon
  kCritical,  // OK button and the critical-error icon
};

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows `text` and returns once the user has acknowledged it.
  virtual void Show(std::string_view text, MessageStyle style = MessageStyle::kPlain) = 0;
};

// Writes the text to a stream (standard error by default), each line break (CR, CR LF or LF)
// as "\n", ended by a newline, and carries on as if OK had been pressed.
class ConsoleMessageBox : public MessageBox {
 public:
  ConsoleMessageBox();
  explicit ConsoleMessageBox(std::ostream& out);

  void Show(std::string_view text, MessageStyle style = MessageStyle::kPlain) override;

 private:
  std::ostream& out_;
};

// The text as the console shows it: CR LF, CR and LF each become "\n", and the text ends in a
// newline (one is added when it does not).
std::string ConsoleText(std::string_view text);

}  // namespace webletter

#endif  // WEBLETTER_BASE_MESSAGE_BOX_H_
