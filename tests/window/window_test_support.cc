#include "window/window_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <memory>

namespace webletter::testing {
namespace {

ProgramState StateIn(const TempDir& dir) {
  ProgramState state;
  state.app_dir = dir.path();
  return state;
}

}  // namespace

WindowTest::WindowTest() : state_(StateIn(dir_)), settings_(state_.IniPath()) {}

WindowTest::~WindowTest() { window_.reset(); }

std::unique_ptr<frmMain> WindowTest::NewWindow() {
  return std::make_unique<frmMain>(state_, boxes_, dialog_);
}

void WindowTest::ShowAndActivate(frmMain& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QCoreApplication::processEvents();
}

void WindowTest::Type(const char* box, const std::string& text) {
  QLineEdit* edit = Box(box);
  edit->selectAll();
  edit->del();
  QTest::keyClicks(edit, QString::fromStdString(text));
}

void WindowTest::Leave(const char* box) {
  QLineEdit* edit = Box(box);
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

void OnNextModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer;
  auto elapsed = std::make_shared<QElapsedTimer>();
  elapsed->start();
  QObject::connect(timer, &QTimer::timeout, [timer, elapsed, answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && elapsed->elapsed() < 10000) return;
    timer->stop();
    timer->deleteLater();
    if (modal != nullptr) answer(modal);
  });
  timer->start(10);
}

void After(int milliseconds, std::function<void()> action) {
  QTimer::singleShot(milliseconds, std::move(action));
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  return QTest::qWaitFor(done, seconds * 1000);
}

}  // namespace webletter::testing
