// The window's tests run real widgets: one application for the whole test program, on the
// offscreen platform unless the environment names another.
#include <QApplication>
#include <QtGlobal>

#include "gtest/gtest.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
