// The real modal box, the real file dialog, the wait cursor and the twips conversion.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>

#include "window/qt_message_box.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

struct SeenBox {
  std::string title;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool modal = false;
  bool arrow_cursor = false;
};

SeenBox ShowAndAnswer(std::string_view text, MessageStyle style) {
  SeenBox seen;
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen = {box->windowTitle().toStdString(),
            box->text().toStdString(),
            box->icon(),
            static_cast<int>(box->buttons().size()),
            box->isModal(),
            QGuiApplication::overrideCursor() != nullptr &&
                QGuiApplication::overrideCursor()->shape() == Qt::ArrowCursor};
    box->button(QMessageBox::Ok)->click();
  });
  QtMessageBox().Show(text, style);
  return seen;
}

TEST(QtMessageBoxTest, ShowsAModalBoxTitledWebletterWithOnlyOk) {
  const SeenBox plain = ShowAndAnswer("Message Sent", MessageStyle::kPlain);
  EXPECT_EQ(plain.title, "Webletter");
  EXPECT_EQ(plain.text, "Message Sent");
  EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
  EXPECT_EQ(plain.buttons, 1);
  EXPECT_TRUE(plain.modal);

  const SeenBox critical = ShowAndAnswer("<b>not markup</b>\r\nline two", MessageStyle::kCritical);
  EXPECT_EQ(critical.icon, QMessageBox::Critical);
  EXPECT_EQ(critical.text, "<b>not markup</b>\nline two");
}

TEST(QtMessageBoxTest, TheBoxShowsTheArrowEvenUnderTheHourglass) {
  const WaitCursor hourglass;
  EXPECT_TRUE(ShowAndAnswer("Message Sent", MessageStyle::kPlain).arrow_cursor);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

TEST(BoxTextTest, LineBreaksBecomeOneEachAndTheLastIsDropped) {
  EXPECT_EQ(BoxText("one\rtwo\r\nthree\nfour\r\n"), "one\ntwo\nthree\nfour");
  EXPECT_EQ(BoxText(""), "");
}

TEST(WaitCursorTest, GuardsStack) {
  {
    const WaitCursor outer;
    {
      const WaitCursor inner;
      EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(TwipsTest, FifteenTwipsMakeAPixelAt96AndTwelveAt120) {
  EXPECT_EQ(TwipsToPixels(6396, 96), 426);
  EXPECT_EQ(TwipsToPixels(5532, 96), 369);
  EXPECT_EQ(TwipsToPixels(6396, 120), 533);
  EXPECT_EQ(TwipsToPixels(0, 144), 0);
}

std::string AnswerFileDialog(QtFileDialog& dialog, const std::string& choose,
                             std::string* preselected = nullptr) {
  OnNextModal([&](QWidget* modal) {
    auto* file_dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(file_dialog, nullptr);
    if (preselected != nullptr && !file_dialog->selectedFiles().isEmpty()) {
      *preselected = file_dialog->selectedFiles().first().toStdString();
    }
    if (choose.empty()) {
      file_dialog->reject();
    } else {
      file_dialog->selectFile(QString::fromStdString(choose));
      QMetaObject::invokeMethod(file_dialog, "accept", Qt::DirectConnection);
    }
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
