// What the window's tests share: a window over a folder of its own (with its own webletter.ini),
// a message box and a file dialog that the test answers, and helpers that drive real widgets.
#ifndef WEBLETTER_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/message_box.h"
#include "platform/program_state.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "window/frm_main.h"
#include "window/window_parts.h"

namespace webletter::testing {

struct ShownBox {
  std::string text;
  MessageStyle style = MessageStyle::kPlain;
  friend bool operator==(const ShownBox&, const ShownBox&) = default;
};

// Records every box and answers it at once, as if OK had been pressed; `also_show` shows it too.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, MessageStyle style) override {
    shown.push_back({std::string(text), style});
    if (also_show != nullptr) also_show->Show(text, style);
  }

  std::vector<ShownBox> shown;
  MessageBox* also_show = nullptr;
};

// Answers the file dialog with the queued names ("" is a cancelled dialog).
class ScriptedFileDialog : public FileDialog {
 public:
  std::string ShowOpen(QWidget* /*parent*/) override {
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::string> answers;
};

class WindowTest : public ::testing::Test {
 protected:
  WindowTest();

  // Replaces window_ with a new window over this test's folder, shown and active (its fields
  // filled) when `activate`.
  void OpenWindow(bool activate = true);
  // Shows `window` and waits until it is active.
  static void Activate(QWidget& window);

  template <typename Widget = QLineEdit>
  Widget* Find(const char* name) const {
    auto* widget = window_->findChild<Widget*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
  std::string TextOf(const char* box) const { return Find(box)->text().toStdString(); }
  std::string ViewText() const {
    return Find<QPlainTextEdit>("txtRTF")->toPlainText().toStdString();
  }

  // Replaces a box's text as typing would, without leaving it.
  void Type(const char* box, const std::string& text);
  // Gives the box the focus and moves it on to the next control, as the Tab key does.
  void Leave(const char* box);
  void Click(const char* button);
  // Loads `file_name` through "Load from file" ("" cancels the dialog).
  void LoadFile(const std::string& file_name);
  // Fills the six mail fields.
  void FillMailFields(const std::string& smtp, const std::string& subject = "News");

  std::string Ini(std::string_view key) const { return settings_.GetIniValue("Default", key); }

  TempDir dir_;
  ProgramState state_;
  Settings settings_;
  RecordingMessageBox boxes_;
  ScriptedFileDialog dialog_;
  std::unique_ptr<frmMain> window_;
};

// Runs `answer` on the next modal box or dialog once it is open (polled from the event loop for
// up to `tries` times 10 ms).
void OnNextModal(std::function<void(QWidget*)> answer, int tries = 1000);

// Runs `action` from the event loop after `milliseconds`, e.g. while a fetch waits.
inline void After(int milliseconds, std::function<void()> action) {
  QTimer::singleShot(milliseconds, std::move(action));
}

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_WINDOW_WINDOW_TEST_SUPPORT_H_
