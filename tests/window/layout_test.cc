// The window's design: every control where the table puts it, at 96 dots per inch (15 twips to
// the pixel), with its caption, its tab order and its first state.
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QTest>
#include <cmath>

#include "window/window_test_support.h"

namespace webletter::testing {
namespace {

struct Control {
  const char* name;
  const char* kind;
  const char* caption;           // nullptr: any text but none
  int left, top, width, height;  // twips
};

constexpr Control kControls[] = {
    {"Label7", "QLabel", "URL:", 120, 360, 492, 252},
    {"Text1", "QLineEdit", "", 720, 240, 5532, 375},
    {"txtRTF", "QPlainTextEdit", "", 720, 840, 5532, 3132},
    {"btnTest", "QPushButton", "Grab page", 720, 4080, 1332, 375},
    {"Label8", "QLabel", "or", 2280, 4200, 252, 372},
    {"btnOpen", "QPushButton", "Load from file", 2640, 4080, 1455, 375},
    {"Label1", "QLabel", "Subject:", 840, 4800, 1212, 252},
    {"txtSubject", "QLineEdit", "", 2160, 4800, 3372, 288},
    {"Label2", "QLabel", "From address", 840, 5160, 1092, 252},
    {"txtFromAddress", "QLineEdit", "", 2160, 5160, 3372, 288},
    {"Label3", "QLabel", "From Name", 840, 5520, 1212, 252},
    {"txtFromName", "QLineEdit", "", 2160, 5520, 3372, 288},
    {"Label4", "QLabel", "To address", 840, 5880, 972, 252},
    {"txtToAddress", "QLineEdit", "", 2160, 5880, 3372, 288},
    {"Label5", "QLabel", "To Name", 840, 6240, 972, 372},
    {"txtToName", "QLineEdit", "", 2160, 6240, 3372, 288},
    {"Label6", "QLabel", "SMTP server", 840, 6600, 972, 372},
    {"txtSMTP", "QLineEdit", "", 2160, 6600, 3372, 288},
    {"btnSend", "QPushButton", "Send", 2160, 6960, 1212, 372},
    {"btnClose", "QPushButton", "Exit", 4200, 6960, 1332, 372},
    {"Label9", "QLabel", nullptr, 120, 7080, 1692, 372},
};

int At96Dpi(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

class LayoutTest : public WindowTest {};

TEST_F(LayoutTest, EveryControlHasItsKindCaptionPlaceSizeAndState) {
  ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96);
  OpenWindow(false);
  const frmMain& window = *window_;
  for (const Control& control : kControls) {
    SCOPED_TRACE(control.name);
    auto* widget = window.findChild<QWidget*>(QLatin1String(control.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), control.kind);
    EXPECT_EQ(widget->parentWidget(), &window);
    EXPECT_EQ(widget->geometry(), QRect(At96Dpi(control.left), At96Dpi(control.top),
                                        At96Dpi(control.width), At96Dpi(control.height)));
    const QString text =
        widget->property(widget->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
    EXPECT_TRUE(control.caption == nullptr ? !text.isEmpty() : text == control.caption)
        << text.toStdString();
    EXPECT_EQ(widget->isEnabled(), std::string_view(control.name) != "btnSend");
    EXPECT_EQ(widget->font().bold(), std::string_view(control.name) == "Label7");
  }
  EXPECT_EQ(window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(),
            static_cast<qsizetype>(std::size(kControls)));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Webletter"));
  EXPECT_EQ(window.size(), QSize(At96Dpi(6396), At96Dpi(7836)));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(TwipsToPixels(6396, 120), 533);  // at 120 dpi, 12 twips make a pixel
  const QList<QSize> icon_sizes = window.windowIcon().availableSizes();
  EXPECT_EQ(icon_sizes.count(QSize(32, 32)) + icon_sizes.count(QSize(16, 16)), 3);
}

// The Tab key walks the table's tab order, skipping the disabled "Send"; the page view is last.
TEST_F(LayoutTest, TabWalksTheTabOrderFromTheAddressBox) {
  OpenWindow();
  EXPECT_EQ(QApplication::focusWidget(), Find("Text1"));
  const std::vector<std::string> expected = {
      "btnTest",   "btnOpen", "txtSubject", "txtFromAddress", "txtFromName", "txtToAddress",
      "txtToName", "txtSMTP", "btnClose",   "txtRTF",         "Text1"};
  std::vector<std::string> visited;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(visited, expected);
}

}  // namespace
}  // namespace webletter::testing
