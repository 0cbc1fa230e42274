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
  const char* caption;
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

QString Caption(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
  return qobject_cast<QPlainTextEdit*>(widget)->toPlainText();
}

class LayoutTest : public WindowTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96);
    window_ = NewWindow();
  }
};

TEST_F(LayoutTest, EveryControlHasItsKindCaptionPlaceAndSize) {
  for (const Control& control : kControls) {
    SCOPED_TRACE(control.name);
    auto* widget = window_->findChild<QWidget*>(QLatin1String(control.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), control.kind);
    EXPECT_EQ(widget->parentWidget(), window_.get());
    EXPECT_EQ(widget->geometry(), QRect(At96Dpi(control.left), At96Dpi(control.top),
                                        At96Dpi(control.width), At96Dpi(control.height)));
    if (control.caption != nullptr) {
      EXPECT_EQ(Caption(widget), QString(control.caption));
    }
    EXPECT_EQ(widget->isEnabled(), std::string_view(control.name) != "btnSend");
  }
  EXPECT_FALSE(Find<QLabel>("Label9")->text().isEmpty());
  EXPECT_EQ(window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size(),
            static_cast<qsizetype>(std::size(kControls)));
}

TEST_F(LayoutTest, TheWindowIsTitledAndSizedAndOnlyTheUrlCaptionIsBold) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Webletter"));
  EXPECT_EQ(window_->size(), QSize(At96Dpi(6396), At96Dpi(7836)));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  for (QLabel* label : window_->findChildren<QLabel*>()) {
    EXPECT_EQ(label->font().bold(), label->objectName() == QLatin1String("Label7"))
        << label->objectName().toStdString();
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
  }
  for (QPushButton* button : window_->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
  }
}

TEST_F(LayoutTest, TheIconHasItsThreeImages) {
  const QList<QSize> sizes = window_->windowIcon().availableSizes();
  EXPECT_EQ(sizes.count(QSize(32, 32)), 2);
  EXPECT_EQ(sizes.count(QSize(16, 16)), 1);
}

// The Tab key walks the table's tab order, skipping the disabled "Send"; the page view is last.
TEST_F(LayoutTest, TabWalksTheTabOrderFromTheAddressBox) {
  ShowAndActivate(*window_);
  EXPECT_EQ(QApplication::focusWidget(), Box("Text1"));
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
