// The window with real widgets on the offscreen platform, against the scripted servers that the
// end-to-end runner lends it (WEBLETTER_TEST_WEB, WEBLETTER_TEST_SMTP with its messages in
// WEBLETTER_TEST_MAIL): the remembered fields, the field checks, "Grab page", "Load from file"
// and "Send"; and the real modal box and file dialog.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDate>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "gtest/gtest.h"
#include "platform/standard_messages.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "window/frm_main.h"
#include "window/qt_message_box.h"
#include "window/window_parts.h"

namespace webletter::testing {
namespace {

struct ShownBox {
  std::string text;
  MessageStyle style = MessageStyle::kPlain;
  friend bool operator==(const ShownBox&, const ShownBox&) = default;
};

// Records every box and answers it at once, as if OK had been pressed.
struct RecordingMessageBox : MessageBox {
  void Show(std::string_view text, MessageStyle style) override {
    shown.push_back({std::string(text), style});
  }
  std::vector<ShownBox> shown;
};

// Answers the file dialog with the queued names ("" is a cancelled dialog).
struct ScriptedFileDialog : FileDialog {
  std::string ShowOpen(QWidget* /*parent*/) override {
    if (answers.empty()) return {};
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::string> answers;
};

// Runs `answer` on the next modal box or dialog once it is open (polled every 10 ms).
void OnNextModal(std::function<void(QWidget*)> answer, int tries = 1000) {
  QTimer::singleShot(10, [answer = std::move(answer), tries]() mutable {
    if (QWidget* modal = QApplication::activeModalWidget()) return answer(modal);
    if (tries > 0) OnNextModal(std::move(answer), tries - 1);
  });
}

// Runs `action` from the event loop after `milliseconds`, e.g. while a fetch waits.
void After(int milliseconds, std::function<void()> action) {
  QTimer::singleShot(milliseconds, std::move(action));
}

// A window over a folder of its own, with boxes and a file dialog that the test answers.
class WindowTest : public ::testing::Test {
 protected:
  // Replaces window_ with a new window, shown and active (its fields filled) when `activate`.
  void OpenWindow(bool activate = true) {
    window_ = std::make_unique<frmMain>(state_, boxes_, dialog_);
    if (activate) Activate(*window_);
  }
  static void Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();
  }
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
  void Type(const char* box, const std::string& text) {
    Find(box)->selectAll();
    Find(box)->del();
    QTest::keyClicks(Find(box), QString::fromStdString(text));
  }
  // Gives the box the focus and moves it on to the next control, as the Tab key does.
  void Leave(const char* box) {
    Find(box)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(Find(box)->hasFocus()) << box;
    QTest::keyClick(Find(box), Qt::Key_Tab);
    ASSERT_FALSE(Find(box)->hasFocus()) << box;
  }
  void Click(const char* button) { QTest::mouseClick(Button(button), Qt::LeftButton); }
  // Loads `file_name` through "Load from file" ("" cancels the dialog).
  void LoadFile(const std::string& file_name) {
    dialog_.answers.push_back(file_name);
    Click("btnOpen");
  }
  void FillMailFields(const std::string& smtp, const std::string& subject = "News") {
    Type("txtFromAddress", "sender@example.org");
    Type("txtFromName", "Sender");
    Type("txtToAddress", "reader@example.org");
    Type("txtToName", "Reader");
    Type("txtSMTP", smtp);
    Type("txtSubject", subject);
  }
  std::string Ini(std::string_view key) const { return settings_.GetIniValue("Default", key); }

  TempDir dir_;
  ProgramState state_{.app_dir = dir_.path(), .report_mode = {}, .failed_smtp_server = {}};
  Settings settings_{state_.IniPath()};
  RecordingMessageBox boxes_;
  ScriptedFileDialog dialog_;
  std::unique_ptr<frmMain> window_;
};

constexpr std::pair<const char*, const char*> kFields[] = {{"Text1", "URL"},
                                                           {"txtToAddress", "ToAddress"},
                                                           {"txtToName", "ToName"},
                                                           {"txtFromName", "FromName"},
                                                           {"txtFromAddress", "FromAddress"},
                                                           {"txtSubject", "Subject"},
                                                           {"txtSMTP", "SMTPserver"}};
// /latin1 of pages.toml: the bytes as served and the text as the view shows it.
const std::string kLatin1Bytes = "<html><body>Caf\xe9 cr\xe8me</body></html>";
const std::string kLatin1Text = "<html><body>Caf\u00e9 cr\u00e8me</body></html>";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::vector<ShownBox> Standard(int number, MessageStyle style = MessageStyle::kPlain) {
  return {{std::string(StandardMessage(number)), style}};
}

class ActionsTest : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_NE(Env("WEBLETTER_TEST_MAIL"), "") << "run under tests/integration/runner.py --serve";
    mail_before_ = Mails();
    OpenWindow();
  }

  void Grab(const std::string& path) {
    Type("Text1", "http://" + Env("WEBLETTER_TEST_WEB") + path);
    Click("btnTest");
  }
  bool SendEnabled() const { return Button("btnSend")->isEnabled(); }
  bool NoWaitCursor() const { return QGuiApplication::overrideCursor() == nullptr; }
  // Messages the server took since the test began: the facts the parser read, and the body.
  int Mails() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Env("WEBLETTER_TEST_MAIL"))) {
      count += entry.path().extension() == ".txt";
    }
    return count - mail_before_;
  }
  std::string Mail(int n, const char* suffix) const {
    char stem[16];
    std::snprintf(stem, sizeof stem, "/%04d", mail_before_ + n);
    return ReadFile(Env("WEBLETTER_TEST_MAIL") + stem + suffix);
  }

  int mail_before_ = 0;
};

// Later activations keep what was typed; Exit only hides; unload saves; a window never
// activated saves nothing.
TEST_F(ActionsTest, ActivationFillsTheFieldsAndUnloadSavesThem) {
  for (const auto& [box, key] : kFields) settings_.WriteIniValue("Default", key, key);
  OpenWindow(false);
  for (const auto& [box, key] : kFields) EXPECT_EQ(TextOf(box), "") << box;
  Activate(*window_);
  for (const auto& [box, key] : kFields) EXPECT_EQ(TextOf(box), key) << box;
  EXPECT_FALSE(SendEnabled());
  for (const auto& [box, key] : kFields) Type(box, std::string("typed ") + key);
  QWidget other;
  Activate(other);
  Activate(*window_);
  EXPECT_EQ(TextOf("txtSMTP"), "typed SMTPserver");
  Click("btnClose");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(Ini("URL"), "URL");
  window_->Unload();
  for (const auto& [box, key] : kFields) EXPECT_EQ(Ini(key), std::string("typed ") + key);

  const std::string before = dir_.Read("webletter.ini");
  OpenWindow(false);
  Type("txtSubject", "typed into a hidden window");
  window_->Unload();
  EXPECT_EQ(dir_.Read("webletter.ini"), before);
}

// No page or a subject under two characters turn "Send" off; a sender or recipient without "@" or
// a server without "." end the check, leaving "Send" as it was.
TEST_F(ActionsTest, LeavingAMailBoxChecksTheFields) {
  dir_.Write("page.html", "<p>page</p>");
  const struct {
    bool have_page;
    const char *from, *to, *smtp, *subject, *left;
    bool send_before, send_after;
  } cases[] = {
      {true, "a@b", "c@d", "mail.example", "ab", "txtSubject", false, true},
      {true, " @ ", "@", ".", "  ", "txtFromName", false, true},
      {false, "a@b", "c@d", "mail.example", "ab", "txtToName", true, false},
      {true, "a@b", "c@d", "mail.example", "a", "txtFromAddress", true, false},
      {true, "ab", "c@d", "mail.example", "a", "txtToAddress", true, true},
      {true, "a@b", "cd", "mail.example", "a", "txtSMTP", true, true},
      {true, "a@b", "c@d", "localhost", "a", "txtSubject", true, true},
      {true, "a@b", "c@d", "localhost", "ab", "txtSubject", false, false},
      {true, "a@b", "c@d", "mail.example", "ab", "Text1", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + c.to + " " + c.smtp + " " + c.subject + " " + c.left);
    OpenWindow();
    if (c.have_page) LoadFile(dir_.File("page.html"));
    Type("txtFromAddress", c.from);
    Type("txtToAddress", c.to);
    Type("txtSMTP", c.smtp);
    Type("txtSubject", c.subject);
    Button("btnSend")->setEnabled(c.send_before);
    Leave(c.left);
    EXPECT_EQ(SendEnabled(), c.send_after);
  }
}

TEST_F(ActionsTest, GrabPageShowsThePageOrTheFailure) {
  FillMailFields("mail.example");
  Grab("/latin1");
  EXPECT_EQ(ViewText(), kLatin1Text);
  EXPECT_EQ(window_->page_html().bytes, kLatin1Bytes);
  EXPECT_EQ(window_->page_html().charset, "iso-8859-1");
  EXPECT_TRUE(SendEnabled());
  EXPECT_TRUE(boxes_.shown.empty());
  Grab("/missing");
  EXPECT_EQ(boxes_.shown, Standard(error::kFetchPageNotFound));
  EXPECT_EQ(ViewText(), "");
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_TRUE(NoWaitCursor());
}

// While a fetch waits, "Send" mails the page of that moment (none yet) and a second "Grab page"
// takes over without a box.
TEST_F(ActionsTest, SendAndASecondGrabDuringASlowFetch) {
  FillMailFields(Env("WEBLETTER_TEST_SMTP"));
  Button("btnSend")->setEnabled(true);
  After(300, [this] { Click("btnSend"); });
  After(600, [this] { Grab("/latin1"); });
  Grab("/slow");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{"Message Sent"}});
  ASSERT_EQ(Mails(), 1);
  EXPECT_EQ(Mail(1, ".body"), "");
  EXPECT_EQ(ViewText(), kLatin1Text);
  EXPECT_TRUE(NoWaitCursor());
}

TEST_F(ActionsTest, ExitOrTheCloseBoxDuringASlowFetchEndsTheModalRunAndSaves) {
  for (const bool exit_button : {true, false}) {
    SCOPED_TRACE(exit_button ? "Exit" : "close box");
    OpenWindow(false);
    After(0, [this] { Grab("/slow"); });
    After(300, [this, exit_button] {
      Type("txtSubject", "typed while waiting");
      exit_button ? Click("btnClose") : void(window_->close());
    });
    window_->ShowModal();
    window_->Unload();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Ini("Subject"), "typed while waiting");
    EXPECT_TRUE(NoWaitCursor());
  }
}

TEST_F(ActionsTest, LoadFromFileTakesTheBytesOrReportsWhyNot) {
  LoadFile("");
  EXPECT_FALSE(window_->have_page());
  dir_.Write("latin1.html", "<p>Caf\xe9</p>\r\n");
  LoadFile(dir_.File("latin1.html"));
  EXPECT_EQ(window_->page_html().bytes, "<p>Caf\xe9</p>\r\n");
  EXPECT_EQ(window_->page_html().charset, "windows-1252");
  EXPECT_EQ(ViewText(), "<p>Caf\u00e9</p>\n");
  EXPECT_TRUE(window_->have_page());

  dir_.Write("secret.html", "<p>secret</p>");
  ::chmod(dir_.File("secret.html").c_str(), 0);
  ::chmod(dir_.path().c_str(), 0755);
  std::filesystem::create_directory(dir_.File("folder"));
  const std::pair<std::string, int> failures[] = {
      {dir_.File("folder"), error::kPathFileAccessError},
      {dir_.File("vanished.html"), error::kFileNotFound},
      {dir_.File("secret.html"), error::kPermissionDenied}};
  const bool root = ::geteuid() == 0;  // permissions apply to root only as another user
  for (const auto& [file, number] : failures) {
    SCOPED_TRACE(file);
    boxes_.shown.clear();
    ASSERT_EQ(root ? ::seteuid(65534) : 0, 0);
    LoadFile(file);
    ASSERT_EQ(root ? ::seteuid(0) : 0, 0);
    EXPECT_EQ(boxes_.shown, Standard(number));
    EXPECT_EQ(window_->page_html().bytes, "<p>Caf\xe9</p>\r\n");
  }
}

TEST_F(ActionsTest, SendNamesTheFirstWrongFieldAndSendsNothing) {
  const struct {
    const char *from, *to;
    std::string smtp;
    const char* message;
  } cases[] = {{"sender", "reader", "localhost", "From address incorrect"},
               {"s@x", "reader", "localhost", "To address incorrect"},
               {"s@x", "r@y", "localhost", "Address of smtp-server incorrect"}};
  dir_.Write("page.html", "<p>page</p>");
  LoadFile(dir_.File("page.html"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    boxes_.shown.clear();
    Type("txtFromAddress", c.from);
    Type("txtToAddress", c.to);
    Type("txtSMTP", c.smtp);
    Button("btnSend")->setEnabled(true);
    Click("btnSend");
    EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{c.message}});
  }
  EXPECT_EQ(Mails(), 0);
}

// What is sent is the page as grabbed, in its own charset, whatever was typed into the view; a
// failed send shows the critical box and can be repeated.
TEST_F(ActionsTest, SendMailsThePageWithTheDateFilledOrShowsTheFailure) {
  FillMailFields(Env("WEBLETTER_TEST_CLOSED"), "News of #yyyymmdd#");
  Grab("/latin1");
  Click("btnSend");
  EXPECT_EQ(boxes_.shown, Standard(error::kMailCannotConnect, MessageStyle::kCritical));
  EXPECT_EQ(Mails(), 0);
  EXPECT_TRUE(SendEnabled());

  boxes_.shown.clear();
  Type("txtSMTP", Env("WEBLETTER_TEST_SMTP"));
  QTest::keyClicks(Find<QPlainTextEdit>("txtRTF"), "typed into the view");
  Click("btnSend");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{"Message Sent"}});
  ASSERT_EQ(Mails(), 1);
  const std::string today = QDate::currentDate().toString(u"yyyyMMdd").toStdString();
  EXPECT_EQ(Mail(1, ".txt").substr(0, Mail(1, ".txt").find("header Date")),
            "mail-from sender@example.org\nrcpt-to reader@example.org\n");
  for (const std::string& line : std::vector<std::string>{
           "header From: Sender <sender@example.org>", "header To: Reader <reader@example.org>",
           "header Subject: News of " + today, "type text/html", "charset iso-8859-1"}) {
    EXPECT_NE(Mail(1, ".txt").find("\n" + line + "\n"), std::string::npos) << line;
  }
  EXPECT_EQ(Mail(1, ".txt").find("problem"), std::string::npos);
  EXPECT_EQ(Mail(1, ".body"), kLatin1Bytes);
  EXPECT_EQ(TextOf("txtSubject"), "News of #yyyymmdd#");
  EXPECT_TRUE(NoWaitCursor());
}

struct SeenBox {
  std::string title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool plain_text_only_ok_modal = false;
  bool arrow_cursor = false;
  friend bool operator==(const SeenBox&, const SeenBox&) = default;
};

SeenBox ShowAndAnswer(std::string_view text, MessageStyle style) {
  SeenBox seen;
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    const QCursor* cursor = QGuiApplication::overrideCursor();
    seen = {box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
            box->textFormat() == Qt::PlainText && box->buttons().size() == 1 && box->isModal(),
            cursor != nullptr && cursor->shape() == Qt::ArrowCursor};
    box->button(QMessageBox::Ok)->click();
  });
  QtMessageBox().Show(text, style);
  return seen;
}

// A box over the hourglass shows the ordinary pointer; line breaks become one each, the last
// is dropped.
TEST(QtMessageBoxTest, ShowsAModalPlainTextBoxTitledWebletterWithOnlyOk) {
  EXPECT_EQ(ShowAndAnswer("Message Sent", MessageStyle::kPlain),
            (SeenBox{"Webletter", "Message Sent", QMessageBox::NoIcon, true, false}));
  const WaitCursor hourglass;
  EXPECT_EQ(ShowAndAnswer("<b>a</b>\rb\r\nc\n", MessageStyle::kCritical),
            (SeenBox{"Webletter", "<b>a</b>\nb\nc", QMessageBox::Critical, true, true}));
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

// Chooses `choose` ("" cancels) in the real dialog; `preselected` gets the file it started at.
std::string AnswerFileDialog(QtFileDialog& dialog, const std::string& choose,
                             std::string* preselected = nullptr) {
  OnNextModal([&](QWidget* modal) {
    auto* file_dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(file_dialog, nullptr);
    if (preselected != nullptr && !file_dialog->selectedFiles().isEmpty()) {
      *preselected = file_dialog->selectedFiles().first().toStdString();
    }
    if (choose.empty()) return file_dialog->reject();
    file_dialog->selectFile(QString::fromStdString(choose));
    QMetaObject::invokeMethod(file_dialog, "accept", Qt::DirectConnection);
  });
  return dialog.ShowOpen(nullptr);
}

TEST(QtFileDialogTest, YieldsTheChosenFileAndStartsThereNextTime) {
  TempDir dir;
  dir.Write("page.html", "<p>x</p>");
  QtFileDialog dialog;
  EXPECT_EQ(AnswerFileDialog(dialog, dir.File("page.html")), dir.File("page.html"));
  std::string preselected;
  EXPECT_EQ(AnswerFileDialog(dialog, "", &preselected), "");
  EXPECT_EQ(preselected, dir.File("page.html"));
}

}  // namespace
}  // namespace webletter::testing
