// The real main window for a benchmark: over a folder of its own (removed when it goes), with
// message boxes that show nothing and a file dialog that answers `dialog.file`.
#ifndef WEBLETTER_BENCH_BENCH_WINDOW_H_
#define WEBLETTER_BENCH_BENCH_WINDOW_H_

#include <stdlib.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "window/frm_main.h"

namespace webletter::bench {

class SilentBox : public MessageBox {
 public:
  void Show(std::string_view /*text*/, MessageStyle /*style*/) override {}
};

class FixedDialog : public FileDialog {
 public:
  std::string ShowOpen(QWidget* /*parent*/) override { return file; }
  std::string file;
};

struct Folder {
  std::string path;
  Folder() {
    char name[] = "/tmp/webletter-bench-XXXXXX";
    if (::mkdtemp(name) == nullptr) std::abort();
    path = std::string(name) + "/";
  }
  ~Folder() { std::filesystem::remove_all(path); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
};

struct Window {
  Folder dir;
  ProgramState state{.app_dir = dir.path, .report_mode = {}, .failed_smtp_server = {}};
  SilentBox box;
  FixedDialog dialog;
  frmMain window{state, box, dialog};

  Window() {
    window.show();
    QCoreApplication::processEvents();
  }
  template <typename Widget>
  Widget* Find(const char* name) {
    return window.findChild<Widget*>(QLatin1String(name));
  }
};

}  // namespace webletter::bench

#endif  // WEBLETTER_BENCH_BENCH_WINDOW_H_
