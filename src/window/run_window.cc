#include "window/run_window.h"

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QtGlobal>
#include <utility>

#include "window/frm_main.h"
#include "window/qt_message_box.h"
#include "window/window_parts.h"

namespace webletter {
namespace {

// Starts the toolkit on the display. When the user named no platform, an unreachable display
// falls through to the offscreen platform instead of aborting the process; that counts as no
// display, and the toolkit's complaint about it is kept off the terminal.
class Application {
 public:
  Application(int& argc, char** argv) {
    if (QCoreApplication::instance() != nullptr) {
      usable_ = true;
      return;
    }
    const bool platform_chosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!platform_chosen) {
      qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                     ? "xcb;offscreen"
                                     : "wayland;xcb;offscreen");
    }
    const QtMessageHandler previous = qInstallMessageHandler(QuietStartUp);
    app_ = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    if (!platform_chosen) qunsetenv("QT_QPA_PLATFORM");
    usable_ = platform_chosen || QGuiApplication::platformName() != QLatin1String("offscreen");
    app_->setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/webletter/icons/webletter_32_16.xpm")));
  }

  bool usable() const { return usable_; }

 private:
  static void QuietStartUp(QtMsgType type, const QMessageLogContext& /*context*/,
                           const QString& message) {
    if (type == QtFatalMsg) qt_message_output(type, {}, message);
  }

  std::unique_ptr<QApplication> app_;
  bool usable_ = false;
};

// Starts the toolkit only when the first box is shown.
class WindowMessageBox : public MessageBox {
 public:
  WindowMessageBox(int& argc, char** argv) : argc_(argc), argv_(argv) {}

  void Show(std::string_view text, MessageStyle style) override {
    if (!application_) application_ = std::make_unique<Application>(argc_, argv_);
    if (application_->usable()) {
      QtMessageBox().Show(text, style);
    } else {
      ConsoleMessageBox().Show(text, style);
    }
  }

 private:
  int& argc_;
  char** argv_;
  std::unique_ptr<Application> application_;
};

}  // namespace

bool RunWindow(const ProgramState& state, int& argc, char** argv) {
  const Application application(argc, argv);
  if (!application.usable()) return false;
  QtMessageBox message_box;
  QtFileDialog file_dialog;
  frmMain window(state, message_box, file_dialog);
  message_box.set_parent(&window);
  window.ShowModal();
  window.Unload();
  return true;
}

std::unique_ptr<MessageBox> CreateWindowMessageBox(int& argc, char** argv) {
  return std::make_unique<WindowMessageBox>(argc, argv);
}

}  // namespace webletter
