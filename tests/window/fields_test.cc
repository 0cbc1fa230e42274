// The remembered fields: filled from section Default when the window is shown and activated,
// written back at unload by a window that was activated, never reloaded by later activations.
#include <QMessageBox>
#include <QTest>
#include <utility>

#include "window/qt_message_box.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

constexpr std::pair<const char*, const char*> kFields[] = {{"Text1", "URL"},
                                                           {"txtToAddress", "ToAddress"},
                                                           {"txtToName", "ToName"},
                                                           {"txtFromName", "FromName"},
                                                           {"txtFromAddress", "FromAddress"},
                                                           {"txtSubject", "Subject"},
                                                           {"txtSMTP", "SMTPserver"}};

class FieldsTest : public WindowTest {
 protected:
  void SetUp() override {
    for (const auto& [box, key] : kFields)
      settings_.WriteIniValue("Default", key, std::string("stored ") + key);
  }
};

// Also: a window shown again after "Exit" fills its fields again.
TEST_F(FieldsTest, ActivationFillsTheBoxesAndUnloadSavesThemAsTheyStand) {
  OpenWindow(false);
  for (const auto& [box, key] : kFields) EXPECT_EQ(TextOf(box), "") << box;
  Activate(*window_);
  for (const auto& [box, key] : kFields) EXPECT_EQ(TextOf(box), "stored " + std::string(key));
  EXPECT_FALSE(Button("btnSend")->isEnabled());  // activation runs no field check

  for (const auto& [box, key] : kFields) Type(box, "typed " + std::string(key));
  const std::string long_name(300, 'n');
  Type("txtFromName", long_name);
  Type("txtSubject", "News of #dd/mm/yyyy#");
  Type("txtToName", "");
  Click("btnClose");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(Ini("URL"), "stored URL");  // "Exit" only hides; unloading saves
  window_->Unload();
  for (const auto& [box, key] : kFields) EXPECT_EQ(Ini(key), TextOf(box).substr(0, 254)) << key;
  EXPECT_NE(dir_.Read("webletter.ini").find(long_name), std::string::npos);

  QWidget other;  // the window system gives the focus to another window meanwhile
  Activate(other);
  Activate(*window_);
  EXPECT_EQ(TextOf("txtFromName"), long_name.substr(0, 254));
  EXPECT_EQ(TextOf("txtToName"), "");
  EXPECT_EQ(TextOf("txtSubject"), "News of #dd/mm/yyyy#");
}

TEST_F(FieldsTest, AWindowNeverActivatedSavesNothing) {
  OpenWindow(false);
  const std::string before = dir_.Read("webletter.ini");
  Type("txtSubject", "typed into a hidden window");
  window_->Unload();
  EXPECT_EQ(dir_.Read("webletter.ini"), before);
}

TEST_F(FieldsTest, TheCloseBoxSavesLikeExitOnce) {
  OpenWindow();
  Type("txtSMTP", "mail.example.org");
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(Ini("SMTPserver"), "mail.example.org");
  settings_.WriteIniValue("Default", "SMTPserver", "changed since");
  window_->Unload();  // start-up unloads the closed window again: nothing more is written
  EXPECT_EQ(Ini("SMTPserver"), "changed since");
}

// Closing one of the program's own boxes, or coming back from another window, activates the
// window again; what the user typed stays.
TEST_F(FieldsTest, LaterActivationsDoNotReload) {
  OpenWindow();
  QtMessageBox real_box(window_.get());
  boxes_.also_show = &real_box;
  Type("txtToName", "typed");
  Type("txtFromAddress", "no at sign");
  OnNextModal(
      [](QWidget* modal) { static_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click(); });
  Button("btnSend")->setEnabled(true);
  Click("btnSend");
  ASSERT_EQ(boxes_.shown, std::vector<ShownBox>{{"From address incorrect"}});
  Activate(*window_);
  EXPECT_EQ(TextOf("txtToName"), "typed");

  QWidget other;
  Activate(other);
  Activate(*window_);
  EXPECT_EQ(TextOf("txtToName"), "typed");
}

}  // namespace
}  // namespace webletter::testing
