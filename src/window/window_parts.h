// Small pieces of the window that need no widget of their own: the file-open dialog as an
// interface (tests answer it) and the wait cursor.
#ifndef WEBLETTER_WINDOW_WINDOW_PARTS_H_
#define WEBLETTER_WINDOW_WINDOW_PARTS_H_

#include <string>

class QWidget;

namespace webletter {

// The file-open dialog: lets the user choose one existing file.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // The chosen file's full name, or "" when the user cancelled.
  virtual std::string ShowOpen(QWidget* parent) = 0;
};

// The platform's file-open dialog, offering HTML files first and all files second, with no title
// or folder of its own. It starts at the file chosen last time, as the classic dialog keeps its
// file name between uses.
class QtFileDialog : public FileDialog {
 public:
  std::string ShowOpen(QWidget* parent) override;

 private:
  std::string last_file_;
};

// The hourglass for the life of the object. Guards stack: the pointer comes back when the last
// one goes.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace webletter

#endif  // WEBLETTER_WINDOW_WINDOW_PARTS_H_
