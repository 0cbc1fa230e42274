// The real modal box and the real file dialog.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "window/qt_message_box.h"
#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

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
