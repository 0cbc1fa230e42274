// The main window: the page address, the page's source, the six mail fields and the four
// buttons "Grab page", "Load from file", "Send" and "Exit". Its seven entry fields are filled
// from section Default of webletter.ini when the window is shown; at unload, the ones the user
// changed are written back. What is sent is the page as fetched or read (PageHtml), never the
// view's text. The fixed layout, given in twips, grows with the application's font and shrinks
// to fit a small screen.
#ifndef WEBLETTER_WINDOW_FRM_MAIN_H_
#define WEBLETTER_WINDOW_FRM_MAIN_H_

#include <QString>
#include <QWidget>
#include <map>
#include <optional>
#include <string>

#include "base/message_box.h"
#include "base/program_state.h"
#include "services/fetch/page.h"
#include "settings/settings.h"
#include "window/window_parts.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace webletter {

class frmMain : public QWidget {  // NOLINT(readability-identifier-naming): the window's own name
  Q_OBJECT

 public:
  // The window reads and writes the settings file of `state`; `message_box` and `file_dialog`
  // must outlive it.
  frmMain(const ProgramState& state, MessageBox& message_box, FileDialog& file_dialog,
          QWidget* parent = nullptr);
  ~frmMain() override;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  // Shows the window and returns once it is hidden ("Exit") or closed.
  void ShowModal();
  // Unloads the window: saves the fields when it had been activated. Closing the window has
  // already unloaded it; a second unload does nothing until the window is shown again.
  void Unload();

  // Fetches `url` exactly as given into PageHtml, keeping the window's events running while the
  // transfer waits. Returns the page; after a failure, already shown in a box, an empty page.
  // Returns nothing when the wait was abandoned because a newer "Grab page" started or the
  // window was closed: PageHtml then belongs to whoever took over.
  std::optional<Page> GrabDoc2(const std::string& url);

  const Page& page_html() const { return PageHtml; }
  bool have_page() const { return HavePage; }
  bool save_on_unload() const { return SaveOnUnload; }

 signals:
  // The window was hidden or closed by the program or the user (not minimised).
  void Hidden();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Activate();
  void Form_Unload();
  void btnTest_Click();
  void btnOpen_Click();
  void btnSend_Click();
  void btnClose_Click();
  void txtFromAddress_LostFocus();
  void txtFromName_LostFocus();
  void txtToAddress_LostFocus();
  void txtToName_LostFocus();
  void txtSMTP_LostFocus();
  void txtSubject_LostFocus();
  bool CheckFields();

  void ActivateIfPending();
  // Sets the window's font and how many pixels a twip takes.
  void ChooseScale();
  void CreateControls();
  void ConnectHandlers();
  // Fills `box` from `key` of section Default and remembers what it shows.
  void Fill(QLineEdit* box, IniKey key);
  // Writes `box` to `key` of section Default when its text differs from what Fill put there.
  void Save(const QLineEdit* box, IniKey key);
  void ShowPage(const std::string& text);
  // Twips across and down in pixels.
  int Px(int twips) const;
  int Py(int twips) const;

  Settings settings_;
  MessageBox& message_box_;
  FileDialog& file_dialog_;

  // The window's state, all cleared when it is created.
  Page PageHtml;
  bool SaveOnUnload = false;
  bool HavePage = false;

  // Set when the window is shown; the activation that follows fills the fields. Activations
  // after the program's own boxes and dialogs, or after switching applications, leave them.
  bool activation_pending_ = false;
  bool unloaded_ = false;
  // Set by "Exit" and the close box: a fetch that waits is abandoned.
  bool closing_ = false;
  // Counts "Grab page" fetches: a waiting fetch gives way to a newer one.
  int grab_generation_ = 0;
  // Set while "Send" waits on the server; a close request meanwhile is carried out after it.
  bool sending_ = false;
  bool close_after_send_ = false;
  // What the last activation put into each box: unload writes only the boxes that differ.
  std::map<const QLineEdit*, QString> read_;
  double pixels_per_twip_ = 96.0 / 1440.0;
  double pixels_per_twip_down_ = 96.0 / 1440.0;

  QLabel* Label7 = nullptr;
  QLineEdit* Text1 = nullptr;
  QPlainTextEdit* txtRTF = nullptr;
  QPushButton* btnTest = nullptr;
  QLabel* Label8 = nullptr;
  QPushButton* btnOpen = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* txtSubject = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* txtFromAddress = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* txtFromName = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* txtToAddress = nullptr;
  QLabel* Label5 = nullptr;
  QLineEdit* txtToName = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* txtSMTP = nullptr;
  QPushButton* btnSend = nullptr;
  QPushButton* btnClose = nullptr;
  QLabel* Label9 = nullptr;
};

}  // namespace webletter

#endif  // WEBLETTER_WINDOW_FRM_MAIN_H_
