// The window's actions against the real web server (tests/support/http_server.py) and the real
// SMTP server (tests/support/smtp_server.py): the field checks, "Grab page", "Load from file" and
// "Send", with what arrived read back by Python's email package.
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "platform/standard_messages.h"
#include "services/mail_test_support.h"
#include "support/test_server.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

// /charset/header-latin1: the bytes as served and the text as the view shows it.
const std::string kLatin1Bytes = "<html><body>Caf\xe9 cr\xe8me, na\xefve</body></html>";
const std::string kLatin1Text = "<html><body>Caf\u00e9 cr\u00e8me, na\u00efve</body></html>";

std::vector<ShownBox> Standard(int number) { return {{std::string(StandardMessage(number))}}; }

class ActionsTest : public WindowTest {
 protected:
  void SetUp() override { OpenWindow(); }

  void Grab(const std::string& path) {
    Type("Text1", "http://" + web_.HostPort() + path);
    Click("btnTest");
  }
  bool SendEnabled() const { return Button("btnSend")->isEnabled(); }
  bool NoWaitCursor() const { return QGuiApplication::overrideCursor() == nullptr; }

  TestServer web_{"http_server.py", {}};
};

// --- the field checks ----------------------------------------------------------------------

// No page or a subject under two characters turn "Send" off; a sender or recipient without "@" or
// a server without "." end the check, leaving "Send" as it was.
TEST_F(ActionsTest, CheckFieldsRules) {
  const struct {
    const char* what;
    bool have_page;
    const char *from, *to, *smtp, *subject;
    bool send_before, send_after;
  } cases[] = {
      {"all pass", true, "a@b", "c@d", "mail.example", "ab", false, true},
      {"blanks count as text", true, " @ ", "@", ".", "  ", false, true},
      {"no page", false, "a@b", "c@d", "mail.example", "ab", true, false},
      {"short subject", true, "a@b", "c@d", "mail.example", "a", true, false},
      {"bad sender keeps Send on", true, "ab", "c@d", "mail.example", "a", true, true},
      {"bad recipient keeps Send on", true, "a@b", "cd", "mail.example", "a", true, true},
      {"bad server keeps Send on", true, "a@b", "c@d", "localhost", "a", true, true},
      {"bad server keeps Send off", true, "a@b", "c@d", "localhost", "ab", false, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    OpenWindow();
    if (test.have_page) LoadFile(SupportFile("http_server.py"));
    Type("txtFromAddress", test.from);
    Type("txtToAddress", test.to);
    Type("txtSMTP", test.smtp);
    Type("txtSubject", test.subject);
    Button("btnSend")->setEnabled(test.send_before);
    Leave("txtSubject");
    EXPECT_EQ(SendEnabled(), test.send_after);
  }
}

TEST_F(ActionsTest, LeavingAnyMailBoxChecksTheFieldsButLeavingTheAddressDoesNot) {
  FillMailFields("mail.example");
  LoadFile(SupportFile("http_server.py"));
  EXPECT_FALSE(SendEnabled());  // loading a file runs no check
  Leave("Text1");
  EXPECT_FALSE(SendEnabled());
  for (const char* box :
       {"txtFromAddress", "txtFromName", "txtToAddress", "txtToName", "txtSMTP", "txtSubject"}) {
    Button("btnSend")->setEnabled(false);
    Leave(box);
    EXPECT_TRUE(SendEnabled()) << box;
  }
}

// --- Grab page -------------------------------------------------------------------------------

TEST_F(ActionsTest, GrabPageShowsThePageOrTheFailureAndChecksTheFields) {
  FillMailFields("mail.example");
  Grab("/charset/header-latin1");
  EXPECT_EQ(ViewText(), kLatin1Text);
  EXPECT_EQ(window_->page_html().bytes, kLatin1Bytes);
  EXPECT_EQ(window_->page_html().charset, "iso-8859-1");
  EXPECT_TRUE(SendEnabled());
  EXPECT_TRUE(boxes_.shown.empty());

  Grab("/status/404");
  EXPECT_EQ(boxes_.shown, Standard(error::kFetchPageNotFound));
  EXPECT_EQ(ViewText(), "");
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_TRUE(SendEnabled());  // a failed grab still counts as a page
  EXPECT_TRUE(NoWaitCursor());
}

// While a fetch waits, "Send" mails the page of that moment (none yet) and a second "Grab page"
// takes over: the newer page is shown, the older fetch is given up without a box.
TEST_F(ActionsTest, SendAndASecondGrabDuringASlowFetch) {
  SmtpTestServer smtp;
  FillMailFields(smtp.HostPort());
  Button("btnSend")->setEnabled(true);
  QElapsedTimer clock;
  clock.start();
  After(300, [this] { Click("btnSend"); });
  After(600, [this] { Grab("/charset/header-latin1"); });
  Grab("/slow?delay=3");
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{"Message Sent"}});
  ASSERT_EQ(smtp.Messages().size(), 1u);
  EXPECT_EQ(ParseMail(smtp.Messages()[0]).body, "");
  EXPECT_EQ(ViewText(), kLatin1Text);
  EXPECT_TRUE(NoWaitCursor());
}

TEST_F(ActionsTest, ExitOrTheCloseBoxDuringASlowFetchEndsTheModalRunAndSaves) {
  for (const bool exit_button : {true, false}) {
    SCOPED_TRACE(exit_button ? "Exit" : "close box");
    OpenWindow(false);
    QElapsedTimer clock;
    clock.start();
    After(0, [this] { Grab("/slow?delay=3"); });
    After(300, [this, exit_button] {
      Type("txtSubject", "typed while waiting");
      exit_button ? Click("btnClose") : void(window_->close());
    });
    window_->ShowModal();
    window_->Unload();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Ini("Subject"), "typed while waiting");
    EXPECT_TRUE(NoWaitCursor());
  }
}

// --- Load from file ----------------------------------------------------------------------------

TEST_F(ActionsTest, LoadFromFileTakesTheBytesAsTheyAre) {
  LoadFile("");  // a cancelled dialog changes nothing
  EXPECT_TRUE(dialog_.answers.empty());
  EXPECT_FALSE(window_->have_page());

  dir_.Write("latin1.html", "<p>Caf\xe9</p>\r\n");
  LoadFile(dir_.File("latin1.html"));
  EXPECT_EQ(window_->page_html().bytes, "<p>Caf\xe9</p>\r\n");
  EXPECT_EQ(window_->page_html().charset, "windows-1252");
  EXPECT_EQ(ViewText(), "<p>Caf\u00e9</p>\n");
  EXPECT_TRUE(window_->have_page());

  // A page that is one long line is shown in pieces, never splitting a character; the page
  // itself stays whole.
  const std::string long_line = std::string(4095, 'a') + "\U0001F600" + std::string(6000, 'b');
  dir_.Write("one-line.html", long_line);
  LoadFile(dir_.File("one-line.html"));
  EXPECT_EQ(window_->page_html().bytes, long_line);
  const std::string view = ViewText();
  EXPECT_EQ(std::count(view.begin(), view.end(), '\n'), 2);
  EXPECT_EQ(QString::fromStdString(view).remove(u'\n').toStdString(), long_line);

  dir_.Write("empty.html", "");
  LoadFile(dir_.File("empty.html"));
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_EQ(ViewText(), "");
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ActionsTest, AnUnreadableFileIsReportedAndChangesNothing) {
  dir_.Write("page.html", "<p>first</p>");
  dir_.Write("secret.html", "<p>secret</p>");
  ::chmod(dir_.File("secret.html").c_str(), 0);
  ::chmod(dir_.path().c_str(), 0755);
  std::filesystem::create_directory(dir_.File("folder"));
  LoadFile(dir_.File("page.html"));
  const struct {
    std::string file;
    int error;
  } cases[] = {{dir_.File("folder"), error::kPathFileAccessError},
               {dir_.File("vanished.html"), error::kFileNotFound},
               {dir_.File("secret.html"), error::kPermissionDenied}};
  const bool root = ::geteuid() == 0;  // permissions apply to root only as another user
  for (const auto& test : cases) {
    SCOPED_TRACE(test.file);
    boxes_.shown.clear();
    ASSERT_EQ(root ? ::seteuid(65534) : 0, 0);
    LoadFile(test.file);
    ASSERT_EQ(root ? ::seteuid(0) : 0, 0);
    EXPECT_EQ(boxes_.shown, Standard(test.error));
    EXPECT_EQ(window_->page_html().bytes, "<p>first</p>");
    EXPECT_EQ(ViewText(), "<p>first</p>");
  }
}

// --- Send --------------------------------------------------------------------------------------

TEST_F(ActionsTest, SendNamesTheFirstWrongFieldAndSendsNothing) {
  SmtpTestServer smtp;
  const struct {
    const char *from, *to;
    std::string smtp;
    const char* message;
  } cases[] = {{"sender", "reader", "localhost", "From address incorrect"},
               {"s@x", "reader", "localhost", "To address incorrect"},
               {"s@x", "r@y", "localhost:" + std::to_string(smtp.port()),
                "Address of smtp-server incorrect"}};
  LoadFile(SupportFile("http_server.py"));
  for (const auto& test : cases) {
    SCOPED_TRACE(test.message);
    boxes_.shown.clear();
    Type("txtFromAddress", test.from);
    Type("txtToAddress", test.to);
    Type("txtSMTP", test.smtp);
    Button("btnSend")->setEnabled(true);
    Click("btnSend");
    EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{test.message}});
  }
  EXPECT_TRUE(smtp.Messages().empty());
}

// What is sent is the page as grabbed, in its own charset, whatever was typed into the view.
TEST_F(ActionsTest, ASuccessfulSendMailsThePageWithTheDateFilled) {
  SmtpTestServer smtp;
  FillMailFields(smtp.HostPort(), "News of #yyyymmdd#");
  Grab("/charset/header-latin1");
  Find<QPlainTextEdit>("txtRTF")->setFocus();
  QTest::keyClicks(Find<QPlainTextEdit>("txtRTF"), "typed into the view");
  Click("btnSend");

  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{"Message Sent"}});
  ASSERT_EQ(smtp.Messages().size(), 1u);
  const ParsedMail mail = ParseMail(smtp.Messages()[0]);
  const std::string today = QDate::currentDate().toString(u"yyyyMMdd").toStdString();
  EXPECT_EQ(mail.Header("Subject"), "News of " + today);
  EXPECT_EQ(mail.One("content-type"), "text/html");
  EXPECT_EQ(mail.One("charset"), "iso-8859-1");
  EXPECT_EQ(mail.One("from-address"), "sender@example.org");
  EXPECT_EQ(mail.One("from-name"), "Sender");
  EXPECT_EQ(mail.One("to-address"), "reader@example.org");
  EXPECT_EQ(mail.One("to-name"), "Reader");
  EXPECT_EQ(mail.body, kLatin1Bytes);
  // Everything stays as it was, ready to send again.
  EXPECT_EQ(TextOf("txtSubject"), "News of #yyyymmdd#");
  EXPECT_TRUE(SendEnabled());
  EXPECT_TRUE(NoWaitCursor());
}

TEST_F(ActionsTest, AFailedSendShowsTheCriticalBoxAndCanBeRepeated) {
  SmtpTestServer refusing("refuse-recipient");
  SmtpTestServer smtp;
  FillMailFields(refusing.HostPort());
  Grab("/charset/header-latin1");
  Click("btnSend");
  EXPECT_EQ(boxes_.shown,
            (std::vector<ShownBox>{{std::string(StandardMessage(error::kMailRecipientRefused)),
                                    MessageStyle::kCritical}}));
  EXPECT_TRUE(refusing.Messages().empty());
  EXPECT_EQ(TextOf("txtSMTP"), refusing.HostPort());
  EXPECT_EQ(TextOf("txtSubject"), "News");
  EXPECT_TRUE(SendEnabled());
  EXPECT_TRUE(NoWaitCursor());

  boxes_.shown.clear();
  Type("txtSMTP", smtp.HostPort());
  Click("btnSend");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{{"Message Sent"}});
  EXPECT_EQ(smtp.Messages().size(), 1u);
}

}  // namespace
}  // namespace webletter::testing
