// The window's actions against the real web server (tests/support/http_server.py) and the real
// SMTP server (tests/support/smtp_server.py): the field checks, "Grab page", "Load from file" and
// "Send", with what arrived read back by Python's email package.
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <ctime>

#include "platform/standard_messages.h"
#include "services/mail_test_support.h"
#include "support/test_server.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

const std::string kPage =
    "<!DOCTYPE html>\n<html><head><title>Webletter test page</title></head>\n"
    "<body><p>Hello from the test server.</p></body></html>\n";

ShownBox Plain(std::string_view text) { return {std::string(text), MessageStyle::kPlain}; }
ShownBox Standard(int number) { return Plain(StandardMessage(number)); }

class ActionsTest : public WindowTest {
 protected:
  void SetUp() override {
    window_ = NewWindow();
    ShowAndActivate(*window_);
  }

  std::string Url(const std::string& path) const { return "http://" + web_.HostPort() + path; }

  void Grab(const std::string& path) {
    Type("Text1", Url(path));
    Click("btnTest");
  }

  bool SendEnabled() const { return Button("btnSend")->isEnabled(); }

  TestServer web_{"http_server.py", {}};
};

// --- the field checks ----------------------------------------------------------------------

struct CheckCase {
  const char* what;
  bool have_page;
  const char* from;
  const char* to;
  const char* smtp;
  const char* subject;
  bool send_before;
  bool send_after;
};

TEST_F(ActionsTest, LeavingAMailBoxChecksTheFields) {
  const CheckCase cases[] = {
      {"all pass", true, "a@b", "c@d", "mail.example", "ab", false, true},
      {"blanks count as text", true, " @ ", "@", ".", "  ", false, true},
      {"no page", false, "a@b", "c@d", "mail.example", "ab", true, false},
      {"short subject", true, "a@b", "c@d", "mail.example", "a", true, false},
      {"bad sender keeps Send on", true, "ab", "c@d", "mail.example", "ab", true, true},
      {"bad sender keeps Send off", true, "ab", "c@d", "mail.example", "ab", false, false},
      {"bad recipient keeps Send on", true, "a@b", "cd", "mail.example", "ab", true, true},
      {"bad server keeps Send on", true, "a@b", "c@d", "localhost", "ab", true, true},
      {"bad server keeps Send off", true, "a@b", "c@d", "localhost", "", false, false},
  };
  for (const char* leaving :
       {"txtFromAddress", "txtFromName", "txtToAddress", "txtToName", "txtSMTP", "txtSubject"}) {
    for (const CheckCase& test : cases) {
      SCOPED_TRACE(std::string(test.what) + ", leaving " + leaving);
      window_ = NewWindow();
      ShowAndActivate(*window_);
      if (test.have_page) LoadFile(SupportFile("http_server.py"));
      Type("txtFromAddress", test.from);
      Type("txtToAddress", test.to);
      Type("txtSMTP", test.smtp);
      Type("txtSubject", test.subject);
      Button("btnSend")->setEnabled(test.send_before);
      Leave(leaving);
      EXPECT_EQ(SendEnabled(), test.send_after);
    }
  }
}

TEST_F(ActionsTest, TypingAndLeavingTheAddressBoxCheckNothing) {
  LoadFile(SupportFile("http_server.py"));
  FillMailFields("mail.example");
  EXPECT_FALSE(SendEnabled());
  Leave("Text1");
  EXPECT_FALSE(SendEnabled());
  Leave("txtToName");
  EXPECT_TRUE(SendEnabled());
}

// --- Grab page -------------------------------------------------------------------------------

TEST_F(ActionsTest, GrabPageShowsThePageAndChecksTheFields) {
  FillMailFields("mail.example");
  Grab("/page");
  EXPECT_EQ(ViewText(), kPage);
  EXPECT_EQ(window_->page_html().bytes, kPage);
  EXPECT_TRUE(window_->have_page());
  EXPECT_TRUE(SendEnabled());
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ActionsTest, GrabPageShowsTheDecodedTextAndKeepsTheBytes) {
  Grab("/charset/header-latin1");
  EXPECT_EQ(ViewText(), "<html><body>Caf\u00e9 cr\u00e8me, na\u00efve</body></html>");
  EXPECT_EQ(window_->page_html().bytes, "<html><body>Caf\xe9 cr\xe8me, na\xefve</body></html>");
  EXPECT_EQ(window_->page_html().charset, "iso-8859-1");
}

TEST_F(ActionsTest, AFailedGrabShowsTheStandardMessageAndEmptiesThePage) {
  FillMailFields("mail.example");
  Grab("/page");
  Grab("/status/404");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Standard(error::kFetchPageNotFound)});
  EXPECT_EQ(ViewText(), "");
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_TRUE(window_->have_page());
  EXPECT_TRUE(SendEnabled());  // a failed grab still counts as a page
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ActionsTest, AFailedFirstGrabStillEnablesSendWithAnEmptyPage) {
  FillMailFields("mail.example");
  Type("Text1", "http://127.0.0.1:1/");
  Click("btnTest");
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0], Standard(error::kFetchCannotConnect));
  EXPECT_TRUE(SendEnabled());
}

// A second "Grab page" while the first waits takes over: the newer page is shown, the older
// fetch is given up without a box.
TEST_F(ActionsTest, ASecondGrabDuringASlowFetchWins) {
  FillMailFields("mail.example");
  QElapsedTimer clock;
  clock.start();
  After(300, [this] { Grab("/page"); });
  Grab("/slow?delay=3");
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(ViewText(), kPage);
  EXPECT_EQ(window_->page_html().bytes, kPage);
  EXPECT_TRUE(SendEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ActionsTest, ExitDuringASlowFetchEndsTheModalRunAndSaves) {
  window_->hide();
  QElapsedTimer clock;
  clock.start();
  After(0, [this] { Grab("/slow?delay=3"); });
  After(300, [this] {
    Type("txtSubject", "typed while waiting");
    Click("btnClose");
  });
  window_->ShowModal();
  window_->Unload();
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(Ini("Subject"), "typed while waiting");
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ActionsTest, TheCloseBoxDuringASlowFetchSavesAndEndsTheModalRun) {
  window_->hide();
  QElapsedTimer clock;
  clock.start();
  After(0, [this] { Grab("/slow?delay=3"); });
  After(300, [this] {
    Type("txtToName", "closed while waiting");
    window_->close();
  });
  window_->ShowModal();
  EXPECT_EQ(Ini("ToName"), "closed while waiting");
  window_->Unload();
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ActionsTest, SendDuringASlowFetchSendsThePageOfThatMoment) {
  SmtpTestServer smtp;
  FillMailFields(smtp.HostPort());
  Button("btnSend")->setEnabled(true);
  After(300, [this] { Click("btnSend"); });
  Grab("/slow?delay=1");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Plain("Message Sent")});
  ASSERT_EQ(smtp.Messages().size(), 1u);
  EXPECT_EQ(ParseMail(smtp.Messages()[0]).body, "");
  EXPECT_EQ(ViewText(), kPage);
}

// --- Load from file ----------------------------------------------------------------------------

TEST_F(ActionsTest, LoadFromFileKeepsTheBytesAndLeavesSendAlone) {
  dir_.Write("latin1.html", "<p>Caf\xe9</p>\r\n");
  FillMailFields("mail.example");
  LoadFile(dir_.File("latin1.html"));
  EXPECT_EQ(window_->page_html().bytes, "<p>Caf\xe9</p>\r\n");
  EXPECT_EQ(window_->page_html().charset, "windows-1252");
  EXPECT_EQ(ViewText(), "<p>Caf\u00e9</p>\n");
  EXPECT_TRUE(window_->have_page());
  EXPECT_FALSE(SendEnabled());  // no field check runs
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ActionsTest, LoadingAnEmptyFileEmptiesThePage) {
  dir_.Write("empty.html", "");
  Grab("/page");
  LoadFile(dir_.File("empty.html"));
  EXPECT_EQ(window_->page_html().bytes, "");
  EXPECT_EQ(ViewText(), "");
  EXPECT_TRUE(window_->have_page());
}

TEST_F(ActionsTest, ACancelledDialogChangesNothing) {
  LoadFile("");
  EXPECT_EQ(dialog_.shows, 1);
  EXPECT_FALSE(window_->have_page());
  EXPECT_TRUE(boxes_.shown.empty());
}

// Becomes another user for as long as it lives, so that permissions apply to a test run as root.
class AsNobody {
 public:
  AsNobody() : was_root_(::geteuid() == 0) {
    if (was_root_) {
      EXPECT_EQ(::seteuid(65534), 0);
    }
  }
  ~AsNobody() {
    if (was_root_) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }

 private:
  bool was_root_;
};

TEST_F(ActionsTest, AnUnreadableFileIsReportedAndChangesNothing) {
  dir_.Write("page.html", "<p>first</p>");
  dir_.Write("secret.html", "<p>secret</p>");
  ::chmod(dir_.File("secret.html").c_str(), 0);
  ::chmod(dir_.path().c_str(), 0755);
  std::filesystem::create_directory(dir_.File("folder"));
  LoadFile(dir_.File("page.html"));

  struct Case {
    std::string file;
    int error;
  } cases[] = {
      {dir_.File("folder"), error::kPathFileAccessError},
      {dir_.File("vanished.html"), error::kFileNotFound},
      {dir_.File("secret.html"), error::kPermissionDenied},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.file);
    boxes_.shown.clear();
    {
      const AsNobody nobody;
      LoadFile(test.file);
    }
    EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Standard(test.error)});
    EXPECT_EQ(window_->page_html().bytes, "<p>first</p>");
    EXPECT_EQ(ViewText(), "<p>first</p>");
  }
}

// --- Send --------------------------------------------------------------------------------------

TEST_F(ActionsTest, SendNamesTheFirstWrongFieldAndSendsNothing) {
  SmtpTestServer smtp;
  struct Case {
    const char* from;
    const char* to;
    std::string smtp;
    const char* message;
  } cases[] = {
      {"sender", "reader", "localhost", "From address incorrect"},
      {"s@x", "reader", "localhost", "To address incorrect"},
      {"s@x", "r@y", "localhost:" + std::to_string(smtp.port()),
       "Address of smtp-server incorrect"},
  };
  LoadFile(SupportFile("http_server.py"));
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    boxes_.shown.clear();
    Type("txtFromAddress", test.from);
    Type("txtToAddress", test.to);
    Type("txtSMTP", test.smtp);
    Button("btnSend")->setEnabled(true);
    Click("btnSend");
    EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Plain(test.message)});
  }
  EXPECT_TRUE(smtp.Messages().empty());
}

std::string TodayAsYyyymmdd() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

TEST_F(ActionsTest, ASuccessfulSendMailsThePageWithTheDateFilled) {
  SmtpTestServer smtp;
  FillMailFields(smtp.HostPort(), "News of #yyyymmdd#");
  Grab("/page");
  ASSERT_TRUE(SendEnabled());
  View()->setFocus();
  QTest::keyClicks(View(), "typed into the view");
  Click("btnSend");

  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Plain("Message Sent")});
  ASSERT_EQ(smtp.Messages().size(), 1u);
  const ParsedMail mail = ParseMail(smtp.Messages()[0]);
  EXPECT_EQ(mail.Header("Subject"), "News of " + TodayAsYyyymmdd());
  EXPECT_EQ(mail.One("content-type"), "text/html");
  EXPECT_EQ(mail.One("from-address"), "sender@example.org");
  EXPECT_EQ(mail.One("from-name"), "Sender");
  EXPECT_EQ(mail.One("to-address"), "reader@example.org");
  EXPECT_EQ(mail.One("to-name"), "Reader");
  EXPECT_EQ(mail.body, kPage);
  // Everything stays as it was, ready to send again.
  EXPECT_EQ(TextOf("txtSubject"), "News of #yyyymmdd#");
  EXPECT_TRUE(SendEnabled());
  EXPECT_EQ(window_->page_html().bytes, kPage);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ActionsTest, AFileIsMailedInItsOwnCharset) {
  SmtpTestServer smtp;
  dir_.Write("latin1.html", "<p>Caf\xe9</p>\n");
  FillMailFields(smtp.HostPort());
  LoadFile(dir_.File("latin1.html"));
  Leave("txtSubject");
  Click("btnSend");
  ASSERT_EQ(smtp.Messages().size(), 1u);
  const ParsedMail mail = ParseMail(smtp.Messages()[0]);
  EXPECT_EQ(mail.One("charset"), "windows-1252");
  EXPECT_EQ(mail.body, "<p>Caf\xe9</p>\n");
}

TEST_F(ActionsTest, AFailedSendShowsTheCriticalBoxAndCanBeRepeated) {
  SmtpTestServer refusing("refuse-recipient");
  SmtpTestServer smtp;
  FillMailFields(refusing.HostPort());
  Grab("/page");
  Click("btnSend");
  EXPECT_EQ(boxes_.shown,
            (std::vector<ShownBox>{{std::string(StandardMessage(error::kMailRecipientRefused)),
                                    MessageStyle::kCritical}}));
  EXPECT_TRUE(refusing.Messages().empty());
  EXPECT_EQ(TextOf("txtSMTP"), refusing.HostPort());
  EXPECT_EQ(TextOf("txtSubject"), "News");
  EXPECT_TRUE(SendEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  boxes_.shown.clear();
  Type("txtSMTP", smtp.HostPort());
  Click("btnSend");
  EXPECT_EQ(boxes_.shown, std::vector<ShownBox>{Plain("Message Sent")});
  EXPECT_EQ(smtp.Messages().size(), 1u);
}

}  // namespace
}  // namespace webletter::testing
