#include "window/frm_main.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFont>
#include <QGuiApplication>
#include <QHideEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <limits>
#include <thread>
#include <utility>

#include "base/version.h"
#include "services/dates/date_tag.h"
#include "services/fetch/page_fetch.h"
#include "services/fetch/page_file.h"
#include "services/mail/mail_steps.h"

namespace webletter {
namespace {

// The window's client area, in twips, laid out for a form font of kDesignPoints.
constexpr int kClientWidth = 6396;
constexpr int kClientHeight = 7836;
constexpr double kDesignPoints = 8.0;
// Room left around the client area for the window manager's frame when the window is fitted
// into the screen, in pixels.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;
// The height of the six mail boxes, whose rows lie 360 twips apart.
constexpr int kMailBoxHeight = 288;

struct Twips {
  int left;
  int top;
  int width;
  int height;
};

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Text(const QLineEdit* box) { return box->text().toStdString(); }

bool Contains(const QLineEdit* box, char c) { return Text(box).find(c) != std::string::npos; }

// The application's default font. Where it names no family or no size, the classic form font
// (a small sans serif of 8 points) fills in.
QFont FormFont() {
  QFont font = QGuiApplication::font();
  if (font.family().isEmpty()) {
    font.setFamilies(
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica")});
  }
  if (font.pointSizeF() <= 0 && font.pixelSize() <= 0) font.setPointSizeF(kDesignPoints);
  return font;
}

double PointSize(const QFont& font, double dots_per_inch) {
  return font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / dots_per_inch;
}

// A label's text as a name for the box it captions: no access-key mark, no closing colon.
QString NameOf(const QLabel* label) {
  QString name = label->text().remove(u'&');
  if (name.endsWith(u':')) name.chop(1);
  return name;
}

// While it lives, no keys, mouse, wheel or touch input, no drops, no input-method text and no
// shortcuts reach any object of the program.
class InputBarrier : public QObject {
 public:
  InputBarrier() { QCoreApplication::instance()->installEventFilter(this); }
  ~InputBarrier() override { QCoreApplication::instance()->removeEventFilter(this); }
  InputBarrier(const InputBarrier&) = delete;
  InputBarrier& operator=(const InputBarrier&) = delete;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Shortcut:
      case QEvent::InputMethod:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      default:
        return event->isInputEvent();
    }
  }
};

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/webletter/icons/webletter_32_2.xpm"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/webletter/icons/webletter_32_16.xpm"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/webletter/icons/webletter_16_16.xpm"), QSize(16, 16));
  return icon;
}

// Runs `work` on a thread of its own and keeps the window's event loop turning until it is done;
// returns its outcome. libcurl waits for the server's answer to the end of a message without a
// callback, even through a multi handle, so a send on the window's own thread would leave the
// window unpainted for as long as the server takes to confirm, up to two minutes. `work` must
// touch nothing of the toolkit.
Status WhileTheWindowRuns(const std::function<Status()>& work) {
  QEventLoop loop;
  Status outcome;
  std::thread worker([&] {
    outcome = work();
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  return outcome;
}

}  // namespace

frmMain::frmMain(const ProgramState& state, MessageBox& message_box, FileDialog& file_dialog,
                 QWidget* parent)
    : QWidget(parent),
      settings_(state.IniPath()),
      message_box_(message_box),
      file_dialog_(file_dialog) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(ToQt(kAppTitle));
  setWindowIcon(AppIcon());
  ChooseScale();
  setFixedSize(Px(kClientWidth), Py(kClientHeight));
  CreateControls();
  ConnectHandlers();
  Text1->setFocus();
}

frmMain::~frmMain() {
  for (QLineEdit* box :
       {txtSubject, txtFromAddress, txtFromName, txtToAddress, txtToName, txtSMTP}) {
    box->removeEventFilter(this);
  }
}

void frmMain::ShowModal() {
  QEventLoop loop;
  const QMetaObject::Connection quit = connect(this, &frmMain::Hidden, &loop, &QEventLoop::quit);
  show();
  activateWindow();
  if (isVisible()) loop.exec();
  disconnect(quit);
}

void frmMain::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Form_Unload();
}

// The layout grows with the form font, as the design's twips grew with the system's font size;
// a window that would not fit the screen's free area is made smaller, its font with it.
void frmMain::ChooseScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dots_per_inch = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
  QFont form_font = FormFont();
  double points = PointSize(form_font, dots_per_inch);
  pixels_per_twip_ = dots_per_inch / 1440.0 * points / kDesignPoints;
  if (screen != nullptr) {
    const QRect room = screen->availableGeometry();
    const double fit =
        std::min({1.0, (room.width() - kFrameWidth) / (kClientWidth * pixels_per_twip_),
                  (room.height() - kFrameHeight) / (kClientHeight * pixels_per_twip_)});
    if (fit > 0) {
      pixels_per_twip_ *= fit;
      points *= fit;
    }
  }
  form_font.setPointSizeF(points);
  setFont(form_font);
  // A style whose boxes need more height than the design's rows leave them (Adwaita's do) moves
  // the rows apart; the columns and the widths stay. Under styles whose boxes fit, nothing moves.
  QLineEdit probe;
  probe.setFont(form_font);
  pixels_per_twip_down_ = std::max(
      pixels_per_twip_, probe.minimumSizeHint().height() / static_cast<double>(kMailBoxHeight));
}

std::optional<Page> frmMain::GrabDoc2(const std::string& url) {
  const int generation = ++grab_generation_;
  const auto still_wanted = [this, generation] {
    return !closing_ && grab_generation_ == generation;
  };
  PageHtml = Page{};
  Result<Page> fetched = FetchPage(url, [&still_wanted] {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return still_wanted();
  });
  if (!still_wanted()) return std::nullopt;
  if (!fetched.ok()) {
    message_box_.Show(fetched.status().Text(), MessageStyle::kCritical);
    return Page{};
  }
  PageHtml = std::move(*fetched);
  return PageHtml;
}

bool frmMain::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) ActivateIfPending();
  return QWidget::event(event);
}

void frmMain::showEvent(QShowEvent* event) {
  // Restoring a minimised window is a spontaneous show: it leaves the fields alone.
  if (!event->spontaneous()) {
    activation_pending_ = true;
    closing_ = false;
    unloaded_ = false;
  }
  QWidget::showEvent(event);
}

void frmMain::ActivateIfPending() {
  if (!activation_pending_ || !isActiveWindow()) return;
  activation_pending_ = false;
  Form_Activate();
}

void frmMain::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) emit Hidden();
}

// The close box unloads the window at once and so saves exactly as "Exit" does. During a send it
// waits for the send to end and its outcome to be shown.
void frmMain::closeEvent(QCloseEvent* event) {
  if (sending_) {
    close_after_send_ = true;
    event->ignore();
    return;
  }
  closing_ = true;
  Unload();
  event->accept();
}

// Leaving one of the six mail boxes re-checks the fields. Focus that goes to another window or
// to a context menu and comes back is not leaving the box.
bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == txtFromAddress) txtFromAddress_LostFocus();
      if (watched == txtFromName) txtFromName_LostFocus();
      if (watched == txtToAddress) txtToAddress_LostFocus();
      if (watched == txtToName) txtToName_LostFocus();
      if (watched == txtSMTP) txtSMTP_LostFocus();
      if (watched == txtSubject) txtSubject_LostFocus();
    }
  }
  return QWidget::eventFilter(watched, event);
}

// Activation sets SaveOnUnload before the first read, so an activated window saves at unload
// whatever happens afterwards.
void frmMain::Form_Activate() {
  SaveOnUnload = true;
  Fill(Text1, IniKey::kUrl);
  Fill(txtToAddress, IniKey::kToAddress);
  Fill(txtToName, IniKey::kToName);
  Fill(txtFromAddress, IniKey::kFromAddress);
  Fill(txtFromName, IniKey::kFromName);
  Fill(txtSubject, IniKey::kSubject);
  Fill(txtSMTP, IniKey::kSmtpServer);
}

// Writes the boxes that differ from what activation read, as they stand: emptied ones too, the
// subject's date tag unfilled. A window that was only looked at leaves the file as it was.
void frmMain::Form_Unload() {
  if (!SaveOnUnload) return;
  Save(Text1, IniKey::kUrl);
  Save(txtToName, IniKey::kToName);
  Save(txtToAddress, IniKey::kToAddress);
  Save(txtFromAddress, IniKey::kFromAddress);
  Save(txtFromName, IniKey::kFromName);
  Save(txtSMTP, IniKey::kSmtpServer);
  Save(txtSubject, IniKey::kSubject);
}

void frmMain::Fill(QLineEdit* box, IniKey key) {
  box->setText(ToQt(settings_.GetIniValue(kDefaultSection, key)));
  read_[box] = box->text();
}

void frmMain::Save(const QLineEdit* box, IniKey key) {
  if (box->text() != read_[box]) settings_.WriteIniValue(kDefaultSection, key, Text(box));
}

// Grab page. Nothing is disabled while the page is fetched: the window's events run meanwhile,
// and a newer "Grab page" or closing the window takes over from this one.
void frmMain::btnTest_Click() {
  txtRTF->clear();
  const WaitCursor hourglass;
  const std::optional<Page> page = GrabDoc2(Text(Text1));
  if (!page) return;
  ShowPage(page->DecodedText());
  HavePage = true;
  CheckFields();
}

// Load from file. A file that cannot be read is reported and changes nothing.
void frmMain::btnOpen_Click() {
  const std::string file_name = file_dialog_.ShowOpen(this);
  if (file_name.empty()) return;
  Result<Page> page = ReadPageFile(file_name);
  if (!page.ok()) {
    message_box_.Show(page.status().message());
    return;
  }
  PageHtml = std::move(*page);
  ShowPage(PageHtml.DecodedText());
  HavePage = true;
}

// Send: the mail steps run in their fixed order; the last failure, if any, is reported. While
// the server is waited for, the window keeps painting and answering the window system, but no
// input reaches it, so nothing else starts meanwhile. The steps run on a thread of their own
// (see WhileTheWindowRuns); everything else stays on the window's. (Holding input back with
// ExcludeUserInputEvents would hold back the close box too, and Qt on X11 hands such events on
// only at the next X event, when the outcome's modal box already blocks the window: the close
// request would be lost.)
void frmMain::btnSend_Click() {
  const char* wrong_field = !Contains(txtFromAddress, '@') ? "From address incorrect"
                            : !Contains(txtToAddress, '@') ? "To address incorrect"
                            : !Contains(txtSMTP, '.')      ? "Address of smtp-server incorrect"
                                                           : nullptr;
  if (wrong_field != nullptr) {
    message_box_.Show(wrong_field);
    return;
  }
  Status sent;
  {
    const WaitCursor hourglass;
    std::string subject = Text(txtSubject);  // the box keeps its tag unfilled
    const std::string server = Text(txtSMTP);
    const std::string from_address = Text(txtFromAddress);
    const std::string from_name = Text(txtFromName);
    const std::string to_address = Text(txtToAddress);
    const std::string to_name = Text(txtToName);
    MailSteps steps{.server = server,
                    .from_address = from_address,
                    .from_name = from_name,
                    .to_address = to_address,
                    .to_name = to_name,
                    .subject = FillDateTag(subject),
                    .body = PageHtml.bytes,
                    .body_charset = PageHtml.charset,
                    .html = true};
    const InputBarrier no_input;
    sending_ = true;
    sent = WhileTheWindowRuns([&steps] { return SendInSteps(std::move(steps)); });
    sending_ = false;
  }
  if (sent.ok()) {
    message_box_.Show("Message Sent");
  } else {
    message_box_.Show(sent.Text(), MessageStyle::kCritical);
  }
  if (std::exchange(close_after_send_, false)) close();
}

// Exit hides the window; whoever showed it unloads it, which saves the fields.
void frmMain::btnClose_Click() {
  closing_ = true;
  hide();
}

void frmMain::txtFromAddress_LostFocus() { CheckFields(); }
void frmMain::txtFromName_LostFocus() { CheckFields(); }
void frmMain::txtToAddress_LostFocus() { CheckFields(); }
void frmMain::txtToName_LostFocus() { CheckFields(); }
void frmMain::txtSMTP_LostFocus() { CheckFields(); }
void frmMain::txtSubject_LostFocus() { CheckFields(); }

// True when a page is there and every mail field passes. A failing address or server test
// returns at once and leaves "Send" as it was; otherwise "Send" follows the verdict.
bool frmMain::CheckFields() {
  bool verdict = HavePage;
  if (!Contains(txtFromAddress, '@')) return false;
  if (!Contains(txtToAddress, '@')) return false;
  if (!Contains(txtSMTP, '.')) return false;
  if (txtSubject->text().size() < 2) verdict = false;
  btnSend->setEnabled(verdict);
  return verdict;
}

void frmMain::CreateControls() {
  const auto place = [this](QWidget* widget, const char* name, Twips at) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(Px(at.left), Py(at.top), Px(at.width), Py(at.height));
  };
  // A label keeps its place but is never narrower than its caption in the font at hand.
  const auto label = [&](const char* name, const char* caption, Twips at,
                         const QFont* face = nullptr) {
    auto* widget = new QLabel(QString::fromUtf8(caption), this);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (face != nullptr) widget->setFont(*face);
    place(widget, name, at);
    widget->resize(widget->size().expandedTo(widget->sizeHint()));
    return widget;
  };
  // A box keeps its place but is never lower than its style needs: it grows about its middle.
  const auto box = [&](const char* name, Twips at, QLabel* caption) {
    auto* widget = new QLineEdit(this);
    widget->setMaxLength(std::numeric_limits<int>::max());
    place(widget, name, at);
    const QRect slot = widget->geometry();
    const int height = std::max(slot.height(), widget->minimumSizeHint().height());
    widget->setGeometry(slot.x(), slot.center().y() - (height - 1) / 2, slot.width(), height);
    caption->setBuddy(widget);
    widget->setAccessibleName(NameOf(caption));
    return widget;
  };
  const auto button = [&](const char* name, const char* caption, Twips at) {
    auto* widget = new QPushButton(QString::fromUtf8(caption), this);
    widget->setAutoDefault(false);
    place(widget, name, at);
    return widget;
  };

  // The captions mark their access keys: Alt and the letter presses a button or moves to a box.
  QFont bold = font();
  bold.setPointSizeF(font().pointSizeF() * 7.8 / kDesignPoints);
  bold.setBold(true);
  Label7 = label("Label7", "&URL:", {120, 360, 492, 252}, &bold);
  Text1 = box("Text1", {720, 240, 5532, 375}, Label7);
  txtRTF = new QPlainTextEdit(this);
  place(txtRTF, "txtRTF", {720, 840, 5532, 3132});
  txtRTF->setAccessibleName(QStringLiteral("Page source"));
  // The page is shown literally. Without wrapping, a page of several megabytes stays smooth.
  txtRTF->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtRTF->setTabChangesFocus(true);
  btnTest = button("btnTest", "&Grab page", {720, 4080, 1332, 375});
  Label8 = label("Label8", "or", {2280, 4200, 252, 372});
  btnOpen = button("btnOpen", "&Load from file", {2640, 4080, 1455, 375});
  Label1 = label("Label1", "Su&bject:", {840, 4800, 1212, 252});
  txtSubject = box("txtSubject", {2160, 4800, 3372, 288}, Label1);
  Label2 = label("Label2", "&From address", {840, 5160, 1092, 252});
  txtFromAddress = box("txtFromAddress", {2160, 5160, 3372, 288}, Label2);
  Label3 = label("Label3", "From &Name", {840, 5520, 1212, 252});
  txtFromName = box("txtFromName", {2160, 5520, 3372, 288}, Label3);
  Label4 = label("Label4", "&To address", {840, 5880, 972, 252});
  txtToAddress = box("txtToAddress", {2160, 5880, 3372, 288}, Label4);
  Label5 = label("Label5", "T&o Name", {840, 6240, 972, 372});
  txtToName = box("txtToName", {2160, 6240, 3372, 288}, Label5);
  Label6 = label("Label6", "S&MTP server", {840, 6600, 972, 372});
  txtSMTP = box("txtSMTP", {2160, 6600, 3372, 288}, Label6);
  btnSend = button("btnSend", "&Send", {2160, 6960, 1212, 372});
  btnSend->setEnabled(false);
  btnClose = button("btnClose", "E&xit", {4200, 6960, 1332, 372});
  Label9 = label("Label9", kProductVersion, {120, 7080, 1692, 372});

  // The tab order: the address, the page buttons, the mail fields, the buttons, the page view.
  QWidget* const order[] = {Text1,          btnTest,     btnOpen,      txtSubject,
                            txtFromAddress, txtFromName, txtToAddress, txtToName,
                            txtSMTP,        btnSend,     btnClose,     txtRTF};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void frmMain::ConnectHandlers() {
  connect(btnTest, &QPushButton::clicked, this, [this] { btnTest_Click(); });
  connect(btnOpen, &QPushButton::clicked, this, [this] { btnOpen_Click(); });
  connect(btnSend, &QPushButton::clicked, this, [this] { btnSend_Click(); });
  connect(btnClose, &QPushButton::clicked, this, [this] { btnClose_Click(); });
  // Enter in the address box grabs the page.
  connect(Text1, &QLineEdit::returnPressed, this, [this] { btnTest_Click(); });
  for (QLineEdit* box :
       {txtSubject, txtFromAddress, txtFromName, txtToAddress, txtToName, txtSMTP}) {
    box->installEventFilter(this);
  }
}

// The view lays out each line whole, so a page that is one line of megabytes would take seconds to
// show. Such lines are shown in pieces; the page itself (PageHtml) is never changed.
void frmMain::ShowPage(const std::string& text) {
  constexpr qsizetype kLongestViewLine = 4096;
  const QString page = ToQt(text);
  QString view;
  view.reserve(page.size() + page.size() / kLongestViewLine);
  qsizetype line_length = 0;
  for (const QChar c : page) {
    const bool breaks = c == u'\n' || c == u'\r';
    if (!breaks && line_length >= kLongestViewLine && !c.isLowSurrogate()) {
      view += u'\n';
      line_length = 0;
    }
    view += c;
    line_length = breaks ? 0 : line_length + 1;
  }
  txtRTF->setPlainText(view);
}

int frmMain::Px(int twips) const { return static_cast<int>(twips * pixels_per_twip_ + 0.5); }

int frmMain::Py(int twips) const { return static_cast<int>(twips * pixels_per_twip_down_ + 0.5); }

}  // namespace webletter
