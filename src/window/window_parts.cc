#include "window/window_parts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QStringList>

namespace webletter {

std::string QtFileDialog::ShowOpen(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(
      {QStringLiteral("HTML files (*.html *.htm)"), QStringLiteral("All files (*)")});
  if (!last_file_.empty()) dialog.selectFile(QString::fromStdString(last_file_));
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  last_file_ = files.first().toStdString();
  return last_file_;
}

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }

WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }

}  // namespace webletter
