// The program's message box as a Qt modal box: the title "Webletter", the text as plain text,
// an OK button, and the critical icon for a failed send.
#ifndef WEBLETTER_WINDOW_QT_MESSAGE_BOX_H_
#define WEBLETTER_WINDOW_QT_MESSAGE_BOX_H_

#include <string>
#include <string_view>

#include "base/message_box.h"

class QWidget;

namespace webletter {

class QtMessageBox : public MessageBox {
 public:
  // `parent` (may be null) is the window the box is centred on. A QApplication must exist.
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}

  void Show(std::string_view text, MessageStyle style = MessageStyle::kPlain) override;
  void set_parent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
};

// The text as the box shows it: CR LF, CR and LF each become one line break, and a line break at
// the very end is dropped.
std::string BoxText(std::string_view text);

}  // namespace webletter

#endif  // WEBLETTER_WINDOW_QT_MESSAGE_BOX_H_
