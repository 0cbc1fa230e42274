#include "window/qt_message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace webletter {

std::string BoxText(std::string_view text) {
  std::string out = ConsoleText(text);
  out.pop_back();  // ConsoleText always ends in "\n"
  return out;
}

void QtMessageBox::Show(std::string_view text, MessageStyle style) {
  const QMessageBox::Icon icon =
      style == MessageStyle::kCritical ? QMessageBox::Critical : QMessageBox::NoIcon;
  QMessageBox box(icon,
                  QString::fromUtf8(kAppTitle.data(), static_cast<qsizetype>(kAppTitle.size())),
                  QString::fromStdString(BoxText(text)), QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  // A box that opens while the hourglass shows (a failed fetch) gets the ordinary pointer.
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
}

}  // namespace webletter
