#include "window/window_test_support.h"

#include <QApplication>
#include <QTest>

namespace webletter::testing {
namespace {

ProgramState StateIn(const TempDir& dir) {
  ProgramState state;
  state.app_dir = dir.path();
  return state;
}

}  // namespace

WindowTest::WindowTest() : state_(StateIn(dir_)), settings_(state_.IniPath()) {}

void WindowTest::OpenWindow(bool activate) {
  window_ = std::make_unique<frmMain>(state_, boxes_, dialog_);
  if (activate) Activate(*window_);
}

void WindowTest::Activate(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QCoreApplication::processEvents();
}

void WindowTest::Type(const char* box, const std::string& text) {
  QLineEdit* edit = Find(box);
  edit->selectAll();
  edit->del();
  QTest::keyClicks(edit, QString::fromStdString(text));
}

void WindowTest::Leave(const char* box) {
  QLineEdit* edit = Find(box);
  edit->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(edit->hasFocus()) << box;
  QTest::keyClick(edit, Qt::Key_Tab);
  ASSERT_FALSE(edit->hasFocus()) << box;
}

void WindowTest::Click(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }

void WindowTest::LoadFile(const std::string& file_name) {
  dialog_.answers.push_back(file_name);
  Click("btnOpen");
}

void WindowTest::FillMailFields(const std::string& smtp, const std::string& subject) {
  Type("txtFromAddress", "sender@example.org");
  Type("txtFromName", "Sender");
  Type("txtToAddress", "reader@example.org");
  Type("txtToName", "Reader");
  Type("txtSMTP", smtp);
  Type("txtSubject", subject);
}

void OnNextModal(std::function<void(QWidget*)> answer, int tries) {
  QTimer::singleShot(10, [answer = std::move(answer), tries]() mutable {
    if (QWidget* modal = QApplication::activeModalWidget()) return answer(modal);
    if (tries > 0) OnNextModal(std::move(answer), tries - 1);
  });
}

}  // namespace webletter::testing
