// The remembered fields: filled from section Default when the window is shown and activated,
// written back at unload by a window that was activated, never reloaded by later activations.
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "window/qt_message_box.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

struct Field {
  const char* box;
  const char* key;
};

constexpr Field kFields[] = {
    {"Text1", "URL"},
    {"txtToAddress", "ToAddress"},
    {"txtToName", "ToName"},
    {"txtFromAddress", "FromAddress"},
    {"txtFromName", "FromName"},
    {"txtSubject", "Subject"},
    {"txtSMTP", "SMTPserver"},
};

class FieldsTest : public WindowTest {
 protected:
  void SetUp() override {
    for (const Field& field : kFields) SetIni(field.key, std::string("stored ") + field.key);
    window_ = NewWindow();
  }

  void ExpectStoredValuesInBoxes() {
    for (const Field& field : kFields) {
      EXPECT_EQ(TextOf(field.box), std::string("stored ") + field.key) << field.box;
    }
  }
};

TEST_F(FieldsTest, ActivationFillsTheSevenBoxesAndLeavesTheRestAlone) {
  for (const Field& field : kFields) EXPECT_EQ(TextOf(field.box), "") << field.box;
  ShowAndActivate(*window_);
  ExpectStoredValuesInBoxes();
  EXPECT_TRUE(window_->save_on_unload());
  EXPECT_FALSE(Button("btnSend")->isEnabled());  // no field check runs at activation
  EXPECT_EQ(ViewText(), "");
}

TEST_F(FieldsTest, UnloadWritesTheBoxesAsTheyStand) {
  ShowAndActivate(*window_);
  const std::string long_name(300, 'n');
  Type("Text1", "www.example.org/news");
  Type("txtFromName", long_name);
  Type("txtSubject", "News of #dd/mm/yyyy#");
  Type("txtToName", "");
  Type("txtToAddress", "no address");
  Click("btnClose");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(Ini("URL"), "stored URL");  // "Exit" only hides; unloading saves
  window_->Unload();

  EXPECT_EQ(Ini("URL"), "www.example.org/news");
  EXPECT_EQ(Ini("ToName"), "");
  EXPECT_EQ(Ini("ToAddress"), "no address");
  EXPECT_EQ(Ini("Subject"), "News of #dd/mm/yyyy#");
  EXPECT_EQ(Ini("FromAddress"), "stored FromAddress");
  EXPECT_NE(dir_.Read("webletter.ini").find(long_name), std::string::npos);

  // The next window shows the long value cut to 254 characters.
  window_ = NewWindow();
  ShowAndActivate(*window_);
  EXPECT_EQ(TextOf("txtFromName"), long_name.substr(0, 254));
  EXPECT_EQ(TextOf("txtSubject"), "News of #dd/mm/yyyy#");
}

TEST_F(FieldsTest, AWindowNeverActivatedSavesNothing) {
  const std::string before = dir_.Read("webletter.ini");
  Type("txtSubject", "typed into a hidden window");
  window_->Unload();
  EXPECT_FALSE(window_->save_on_unload());
  EXPECT_EQ(dir_.Read("webletter.ini"), before);
}

TEST_F(FieldsTest, TheCloseBoxSavesLikeExit) {
  ShowAndActivate(*window_);
  Type("txtSMTP", "mail.example.org");
  QSignalSpy hidden(window_.get(), &frmMain::Hidden);
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(hidden.count(), 1);
  EXPECT_EQ(Ini("SMTPserver"), "mail.example.org");
  // Start-up unloads the closed window again: nothing more is written.
  SetIni("SMTPserver", "changed since");
  window_->Unload();
  EXPECT_EQ(Ini("SMTPserver"), "changed since");
}

TEST_F(FieldsTest, ShowModalReturnsWhenExitHidesTheWindow) {
  After(0, [this] {
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    Type("txtSubject", "from the modal run");
    Click("btnClose");
  });
  window_->ShowModal();
  EXPECT_FALSE(window_->isVisible());
  window_->Unload();
  EXPECT_EQ(Ini("Subject"), "from the modal run");
}

// Closing one of the program's own boxes, or coming back from another window, activates the
// window again; what the user typed stays.
TEST_F(FieldsTest, LaterActivationsDoNotReload) {
  QtMessageBox real_box(window_.get());
  boxes_.also_show = &real_box;
  ShowAndActivate(*window_);
  Type("txtToName", "typed");
  Type("txtFromAddress", "no at sign");
  std::string box_title;
  OnNextModal([&](QWidget* modal) {
    box_title = modal->windowTitle().toStdString();
    static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
  });
  Click("btnSend");  // disabled: a click does nothing
  Button("btnSend")->setEnabled(true);
  Click("btnSend");
  EXPECT_EQ(box_title, "Webletter");
  ASSERT_EQ(boxes_.shown,
            (std::vector<ShownBox>{{"From address incorrect", MessageStyle::kPlain}}));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  EXPECT_EQ(TextOf("txtToName"), "typed");

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  EXPECT_EQ(TextOf("txtToName"), "typed");
}

TEST_F(FieldsTest, AWindowShownAgainAfterExitFillsAgain) {
  ShowAndActivate(*window_);
  Type("txtToName", "typed, not saved");
  Click("btnClose");
  SetIni("ToName", "stored again");
  QWidget other;  // the window system gives the focus to another window meanwhile
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  ShowAndActivate(*window_);
  EXPECT_EQ(TextOf("txtToName"), "stored again");
}

TEST_F(FieldsTest, NoSettingsFileOpensEmptyAndSavesWhatWasTyped) {
  std::filesystem::remove(dir_.File("webletter.ini"));
  ShowAndActivate(*window_);
  for (const Field& field : kFields) EXPECT_EQ(TextOf(field.box), "") << field.box;
  Type("txtFromAddress", "me@example.org");
  Click("btnClose");
  window_->Unload();
  EXPECT_EQ(Ini("FromAddress"), "me@example.org");
  EXPECT_EQ(Ini("Subject"), "");
}

}  // namespace
}  // namespace webletter::testing
