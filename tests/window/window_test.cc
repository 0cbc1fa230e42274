// The window's real widgets, offscreen, against the servers the end-to-end runner lends: web
// (WEBLETTER_TEST_WEB), SMTP (WEBLETTER_TEST_SMTP, messages in WEBLETTER_TEST_MAIL), closed port.
#include <QAccessible>
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <vector>

#include "base/standard_messages.h"
#include "base/version.h"
#include "gtest/gtest.h"
#include "settings/settings.h"
#include "support/case_rows.h"
#include "support/temp_dir.h"
#include "window/frm_main.h"
#include "window/run_window.h"

namespace webletter::testing {
namespace {

using Boxes = std::vector<std::string>;

// Records each box (answered at once) and answers the file dialog with `answer` ("" cancels).
struct Recorder : MessageBox, FileDialog {
  void Show(std::string_view text, MessageStyle style) override {
    shown.push_back(std::string(text) + (style == MessageStyle::kCritical ? " (critical)" : ""));
  }
  std::string ShowOpen(QWidget* /*parent*/) override { return std::exchange(answer, ""); }
  Boxes shown;
  std::string answer;
};

std::string Standard(int number) { return std::string(StandardMessage(number)); }

std::string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

int MailCount() {
  return static_cast<int>(
      std::count_if(std::filesystem::directory_iterator(Env("WEBLETTER_TEST_MAIL")), {},
                    [](const auto& entry) { return entry.path().extension() == ".txt"; }));
}

// Runs `act` on what `find` yields as soon as it yields a widget (polled every 10 ms).
void When(std::function<QWidget*()> find, std::function<void(QWidget*)> act, int tries = 1000) {
  QTimer::singleShot(10, [=] {
    if (QWidget* found = find()) return act(found);
    if (tries > 0) When(find, act, tries - 1);
  });
}

// Describes the next real box into `seen` (text, icon, pointer, owner), then presses OK.
void DescribeNextBox(std::string& seen) {
  When(&QApplication::activeModalWidget, [&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    const QCursor* cursor = QGuiApplication::overrideCursor();
    const QWidget* owner = box->parentWidget();
    seen = (box->windowTitle() + QStringLiteral(": ") + box->text()).toStdString() +
           (box->icon() == QMessageBox::Critical ? " (critical)" : "") +
           (box->textFormat() == Qt::PlainText ? "" : " (rich)") +
           (cursor != nullptr && cursor->shape() == Qt::ArrowCursor ? " (arrow)" : "") +
           (owner != nullptr ? " over " + owner->objectName().toStdString() : "");
    box->button(QMessageBox::Ok)->click();
  });
}

constexpr std::pair<const char*, const char*> kFields[] = {{"Text1", "URL"},
                                                           {"txtToAddress", "ToAddress"},
                                                           {"txtToName", "ToName"},
                                                           {"txtFromName", "FromName"},
                                                           {"txtFromAddress", "FromAddress"},
                                                           {"txtSubject", "Subject"},
                                                           {"txtSMTP", "SMTPserver"}};
const std::string kLatin1Bytes = "<html><body>Caf\xe9 cr\xe8me</body></html>";  // /latin1, served
const std::string kLatin1Text = "<html><body>Caf\u00e9 cr\u00e8me</body></html>";

// A window over a folder of its own, whose section Default holds every mail field.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("webletter.ini",
               "[Default]\nSMTPserver=" + Env("WEBLETTER_TEST_SMTP") +
                   "\nFromAddress=sender@example.org\nFromName=Sender\nToName=Reader"
                   "\nToAddress=reader@example.org\nSubject=News of #yyyymmdd#\n");
  }
  void OpenWindow(bool activate = true) {
    window_ = std::make_unique<frmMain>(state_, fake_, fake_);
    if (activate) Activate(*window_);
  }
  static void Activate(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  template <typename Widget = QLineEdit>
  Widget* Find(const char* name) const {
    return window_->findChild<Widget*>(QLatin1String(name));
  }
  std::string TextOf(const char* box) const { return Find(box)->text().toStdString(); }
  std::string View() const { return Find<QPlainTextEdit>("txtRTF")->toPlainText().toStdString(); }
  bool SendEnabled() const { return Find<QPushButton>("btnSend")->isEnabled(); }
  void Type(const char* box, const std::string& text) {
    Find(box)->setText(QString::fromUtf8(text));
  }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  void LoadFile(const std::string& file_name) {
    fake_.answer = file_name;
    Click("btnOpen");
  }
  void Grab(const std::string& path) {
    Type("Text1", "http://" + Env("WEBLETTER_TEST_WEB") + path);
    Click("btnTest");
  }
  std::string Ini(std::string_view key) const { return settings_.GetIniValue("Default", key); }
  // The first message the server took since the test began (one of its files).
  std::string Mail(const char* suffix) const {
    const QString stem = QStringLiteral("/%1").arg(mail_before_ + 1, 4, 10, QLatin1Char('0'));
    return ReadFile(Env("WEBLETTER_TEST_MAIL") + stem.toStdString() + suffix);
  }

  TempDir dir_;
  ProgramState state_{.app_dir = dir_.path(), .report_mode = {}, .failed_smtp_server = {}};
  Settings settings_{state_.IniPath()};
  Recorder fake_;
  std::unique_ptr<frmMain> window_;
  int mail_before_ = MailCount();
};

// Later activations keep what was typed; Exit only hides; unload saves, unless never activated.
TEST_F(WindowTest, ActivationFillsTheFieldsAndUnloadSavesThem) {
  for (const auto& [box, key] : kFields) settings_.WriteIniValue("Default", key, key);
  OpenWindow();
  for (const auto& [box, key] : kFields) EXPECT_EQ(TextOf(box), key) << box;
  EXPECT_FALSE(SendEnabled());
  for (const auto& [box, key] : kFields) Type(box, std::string("typed ") + key);
  QWidget other;
  Activate(other);
  Activate(*window_);
  window_->Unload();
  for (const auto& [box, key] : kFields) EXPECT_EQ(Ini(key), std::string("typed ") + key);

  const std::string before = dir_.Read("webletter.ini");
  Type("txtSubject", "typed after the unload");
  window_->Unload();  // a second unload saves nothing
  OpenWindow(false);
  window_->Unload();  // nor does a window never activated
  EXPECT_EQ(dir_.Read("webletter.ini"), before);
}

// The captions mark their access keys; each box is named after its label, the page view too.
// The window keeps its one size.
TEST_F(WindowTest, ControlsCarryTheirCaptionsAndNames) {
  OpenWindow(false);
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  std::string captions = window_->windowTitle().toStdString(), names;
  for (QObject* child : window_->children()) {
    const QVariant text = child->property("text");
    if (text.isValid()) captions += "|" + text.toString().toStdString();
    if (qobject_cast<QLineEdit*>(child) || qobject_cast<QPlainTextEdit*>(child)) {
      names += QAccessible::queryAccessibleInterface(child)->text(QAccessible::Name).toStdString();
      names += "|";
    }
  }
  EXPECT_EQ(captions,
            "Webletter|&URL:||&Grab page|or|&Load from file|Su&bject:||&From address||"
            "From &Name||&To address||T&o Name||S&MTP server||&Send|E&xit|" +
                std::string(kProductVersion));
  EXPECT_EQ(names,
            "URL|Page source|Subject|From address|From Name|To address|To Name|"
            "SMTP server|");
}

// Alt and a marked letter moves to the label's box or presses the button; Enter in the address
// grabs the page; Escape does nothing.
TEST_F(WindowTest, TheKeyboardReachesEveryControl) {
  OpenWindow();
  const auto press = [this](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::AltModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    for (auto* button : window_->findChildren<QPushButton*>()) {  // an access key's click
      EXPECT_TRUE(QTest::qWaitFor([button] { return !button->isDown(); }));  // comes later
    }
    return QApplication::focusWidget()->objectName().toStdString();
  };
  for (const auto& [key, box] : {std::pair{Qt::Key_B, "txtSubject"},
                                 {Qt::Key_F, "txtFromAddress"},
                                 {Qt::Key_N, "txtFromName"},
                                 {Qt::Key_T, "txtToAddress"},
                                 {Qt::Key_O, "txtToName"},
                                 {Qt::Key_M, "txtSMTP"},
                                 {Qt::Key_U, "Text1"}}) {
    EXPECT_EQ(press(key), box);
  }
  dir_.Write("page.html", "<p>file</p>");
  fake_.answer = dir_.File("page.html");
  press(Qt::Key_L);
  EXPECT_EQ(View(), "<p>file</p>");
  Type("Text1", "http://" + Env("WEBLETTER_TEST_WEB") + "/latin1");
  press(Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(View(), kLatin1Text);
  press(Qt::Key_Escape, Qt::NoModifier);
  press(Qt::Key_S);
  Type("Text1", "http://" + Env("WEBLETTER_TEST_WEB") + "/missing");
  press(Qt::Key_G);
  EXPECT_EQ(fake_.shown,
            (Boxes{"Message Sent", Standard(error::kFetchPageNotFound) + " (critical)"}));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !window_->isVisible(); }));
}

// A window only looked at leaves the file byte for byte; a box changed is written alone, whole,
// quoted where its blanks need it.
TEST_F(WindowTest, UnloadWritesOnlyTheBoxesThatChanged) {
  const std::string url = "http://example.org/" + std::string(300, 'u'), typed(100000, 't');
  const std::string ini = "; kept\r\n[default]\r\nurl = " + url +
                          "\r\nFromName=\"Quoted Name\"\r\nToName=Reader \r\nSubject=";
  dir_.Write("webletter.ini", ini + std::string(40000, 's') + "\r\n");
  OpenWindow();
  EXPECT_EQ(TextOf("Text1"), url);
  EXPECT_EQ(TextOf("txtSubject"), std::string(40000, 's'));
  window_->Unload();
  EXPECT_EQ(dir_.Read("webletter.ini"), ini + std::string(40000, 's') + "\r\n");
  OpenWindow();
  Type("txtToName", " Reader ");
  Type("txtSubject", typed);
  window_->Unload();
  std::string quoted = ini;
  quoted.replace(quoted.find("Reader "), 7, "\" Reader \"");
  EXPECT_EQ(dir_.Read("webletter.ini"), quoted + typed + "\r\n");
}

// While Send waits on the server, the window's timers run but no input reaches it; the close
// box then closes it once the outcome was shown.
TEST_F(WindowTest, DuringSendInputIsDroppedAndClosingWaits) {
  OpenWindow();
  LoadFile(dir_.File("webletter.ini"));
  Find<QPushButton>("btnSend")->setEnabled(true);
  QTimer::singleShot(0, [this] {
    QTest::keyClicks(Find("txtSubject"), QStringLiteral("typed"));
    window_->close();
    EXPECT_TRUE(window_->isVisible());
  });
  Click("btnSend");
  EXPECT_EQ(fake_.shown, Boxes{"Message Sent"});
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(Ini("Subject"), "News of #yyyymmdd#");
}

// No page or a short subject turn "Send" off; a bad address or server leaves it as it was.
TEST_F(WindowTest, LeavingAMailBoxChecksTheFields) {
  dir_.Write("page.html", "<p>page</p>");
  for (const auto& [page, from, to, smtp, subject, left, before, after] :
       CaseRows<8>("window/leave_box_cases.tsv")) {
    SCOPED_TRACE(from + " " + to + " " + smtp + " " + subject + " " + left);
    OpenWindow();
    if (page == "page") LoadFile(dir_.File("page.html"));
    Type("txtFromAddress", from);
    Type("txtToAddress", to);
    Type("txtSMTP", smtp);
    Type("txtSubject", subject);
    Find<QPushButton>("btnSend")->setEnabled(before == "on");
    Find(left.c_str())->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Find(left.c_str()), Qt::Key_Tab);  // leaves the box as the user does
    EXPECT_EQ(SendEnabled(), after == "on");
  }
}

// "Send" tells what stops it: a wrong field (the From address, the To address, the server, in
// that order), or else a server that cannot be reached, in a critical box. Nothing is sent.
TEST_F(WindowTest, SendTellsWhatStopsIt) {
  OpenWindow();
  Grab("/latin1");
  const std::string sender = "sender@example.org", reader = "reader@example.org";
  for (const auto& [from, to, server, shown] : std::vector<std::array<std::string, 4>>{
           {"sender", "reader", "localhost", "From address incorrect"},
           {sender, "reader", "localhost", "To address incorrect"},
           {sender, reader, "localhost", "Address of smtp-server incorrect"},
           {sender, reader, Env("WEBLETTER_TEST_CLOSED"),
            Standard(error::kMailCannotConnect) + " (critical)"}}) {
    Type("txtFromAddress", from);
    Type("txtToAddress", to);
    Type("txtSMTP", server);
    Click("btnSend");
    EXPECT_EQ(std::exchange(fake_.shown, {}), Boxes{shown}) << server;
  }
  EXPECT_EQ(MailCount(), mail_before_);
}

// What is sent is the page as grabbed, in its own charset, whatever was typed into the view;
// the subject's date tag is filled in.
TEST_F(WindowTest, SendMailsThePageAsGrabbed) {
  OpenWindow();
  Grab("/latin1");
  EXPECT_EQ(View(), kLatin1Text);
  EXPECT_TRUE(SendEnabled());
  QTest::keyClicks(Find<QPlainTextEdit>("txtRTF"), QStringLiteral("typed into the view"));
  Click("btnSend");
  EXPECT_EQ(fake_.shown, Boxes{"Message Sent"});
  ASSERT_EQ(MailCount() - mail_before_, 1);
  const std::string today = QDate::currentDate().toString(u"yyyyMMdd").toStdString();
  // What arrived, less the headers this test does not look at.
  const std::string fixed = std::regex_replace(
      Mail(".txt"), std::regex("header (Date|Message-Id|X-Mailer|MIME|Content).*\n"), "");
  EXPECT_EQ(fixed,
            "mail-from sender@example.org\nrcpt-to reader@example.org\nheader From: Sender "
            "<sender@example.org>\nheader Subject: News of " +
                today +
                "\nheader To: Reader <reader@example.org>\ntype text/html\ncharset iso-8859-1\n");
  EXPECT_EQ(Mail(".body"), kLatin1Bytes);
}

// A grab clears the view at once; a second grab while the first waits takes over, and the
// first ends without a box.
TEST_F(WindowTest, ANewerGrabTakesOverAWaitingOne) {
  OpenWindow();
  LoadFile(dir_.File("webletter.ini"));
  QTimer::singleShot(300, [this] { Grab(View().empty() ? "/latin1" : "/missing"); });
  Grab("/slow");
  EXPECT_EQ(View(), kLatin1Text);
  EXPECT_EQ(window_->page_html().bytes, kLatin1Bytes);
  EXPECT_EQ(fake_.shown, Boxes{});
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A failed grab shows why in a critical box and leaves no page: nothing in the view, nothing
// to send.
TEST_F(WindowTest, AFailedGrabLeavesNoPage) {
  OpenWindow();
  Grab("/latin1");
  Grab("/missing");
  EXPECT_EQ(fake_.shown, Boxes{Standard(error::kFetchPageNotFound) + " (critical)"});
  EXPECT_EQ(View(), "");
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The close box unloads at once; Exit only hides. Shown again, the window works as new.
TEST_F(WindowTest, TheCloseBoxOrExitDuringASlowFetchEndsItAndSaves) {
  OpenWindow(false);
  for (const std::string way : {"close box", "Exit"}) {
    SCOPED_TRACE(way);
    Activate(*window_);
    QTimer::singleShot(300, [this, way] {
      Type("txtSubject", "typed before the " + way);
      way == "Exit" ? Click("btnClose") : void(window_->close());
    });
    Grab("/slow");
    if (way == "Exit") window_->Unload();
    EXPECT_EQ(fake_.shown, Boxes{});
    EXPECT_EQ(View(), "");
    EXPECT_EQ(Ini("Subject"), "typed before the " + way);
  }
}

// The view shows lines over 4096 characters in pieces, never between the halves of a pair.
TEST_F(WindowTest, LoadFromFileTakesTheBytesOrReportsWhyNot) {
  OpenWindow();
  LoadFile("");
  const std::string a(4096, 'a'), c(4095, 'c'), latin1 = "<p>Caf\xe9</p>\r\n";
  dir_.Write("long.html", a + "bb\r\n" + c + "\U0001F600d");
  LoadFile(dir_.File("long.html"));
  EXPECT_EQ(View(), a + "\nbb\n" + c + "\U0001F600\nd");
  dir_.Write("latin1.html", latin1);
  LoadFile(dir_.File("latin1.html"));
  EXPECT_EQ(window_->page_html().bytes, latin1);
  EXPECT_EQ(window_->page_html().charset, "windows-1252");
  EXPECT_EQ(View(), "<p>Caf\u00e9</p>\n");

  std::filesystem::create_directory(dir_.File("folder"));
  for (const char* file : {"folder", "vanished.html"}) LoadFile(dir_.File(file));
  EXPECT_EQ(fake_.shown,
            (Boxes{Standard(error::kPathFileAccessError), Standard(error::kFileNotFound)}));
  EXPECT_EQ(window_->page_html().bytes, latin1);
}

// Window mode runs the window until Exit, then saves; its real boxes show the ordinary pointer.
TEST_F(WindowTest, WindowModeRunsUntilExitThenSaves) {
  settings_.WriteIniValue("Default", "URL", "http://" + Env("WEBLETTER_TEST_WEB") + "/missing");
  std::string seen;
  When(&QApplication::activeWindow, [&seen](QWidget* window) {
    DescribeNextBox(seen);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnTest")), Qt::LeftButton);
    window->findChild<QLineEdit*>(QStringLiteral("txtSubject"))->setText(QStringLiteral("typed"));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
  });
  int argc = 0;
  EXPECT_TRUE(RunWindow(state_, argc, nullptr));
  EXPECT_EQ(seen, "Webletter: " + Standard(error::kFetchPageNotFound) +
                      " (critical) (arrow) over frmMain");
  EXPECT_EQ(Ini("Subject"), "typed");
}

// Under the styles of the common desktops no two controls overlap: a style whose boxes need more
// room (Adwaita's) moves the rows apart. Labels may touch labels (the captions "To Name" and
// "SMTP server" overlap by a pixel in the design itself, their text does not).
TEST_F(WindowTest, NoTwoControlsOverlapUnderTheDesktopsStyles) {
  const QString original = QApplication::style()->name();
  for (const char* name : {"Fusion", "Adwaita"}) {
    std::unique_ptr<QStyle> style(QStyleFactory::create(QLatin1String(name)));
    if (!style) {
      ADD_FAILURE() << "the style " << name << " is not installed (adwaita-qt6)";
      continue;
    }
    QApplication::setStyle(style.release());
    OpenWindow(false);
    const QList<QWidget*> controls =
        window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < controls.size(); ++i) {
      for (qsizetype j = i + 1; j < controls.size(); ++j) {
        const bool two_labels =
            qobject_cast<QLabel*>(controls[i]) && qobject_cast<QLabel*>(controls[j]);
        EXPECT_TRUE(two_labels || !controls[i]->geometry().intersects(controls[j]->geometry()))
            << name << ": " << controls[i]->objectName().toStdString() << " and "
            << controls[j]->objectName().toStdString();
      }
    }
  }
  QApplication::setStyle(original);
}

// The box a batch run shows on the display: the text as plain text, its line breaks the box's.
TEST_F(WindowTest, ABatchRunsBoxShowsPlainText) {
  std::string seen;
  DescribeNextBox(seen);
  int argc = 0;
  CreateWindowMessageBox(argc, nullptr)->Show("<b>a</b>\rb\r\nc\n", MessageStyle::kCritical);
  EXPECT_EQ(seen, "Webletter: <b>a</b>\nb\nc (critical)");
}

}  // namespace
}  // namespace webletter::testing

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
