#include "window/qt_message_box.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSpacerItem>
#include <QString>
#include <QStyle>

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
  // A box as wide as its title needs in a window manager's title bar, beside the icon and the
  // frame's buttons: a box narrower than that shows "..." for its title.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int title_width = QFontMetrics(box.font()).horizontalAdvance(box.windowTitle()) +
                            6 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    grid->addItem(new QSpacerItem(title_width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  // A box that opens while the hourglass shows (a failed fetch) gets the ordinary pointer.
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QGuiApplication::restoreOverrideCursor();
}

}  // namespace webletter
