// Window mode, and the program's message box where a display is available. Start-up reaches
// the window only through these functions, so nothing outside this folder sees the toolkit.
#ifndef WEBLETTER_WINDOW_RUN_WINDOW_H_
#define WEBLETTER_WINDOW_RUN_WINDOW_H_

#include <memory>

#include "base/message_box.h"
#include "base/program_state.h"

namespace webletter {

// Shows the main window until it is hidden ("Exit") or closed, then unloads it, which saves the
// fields. Returns false, having shown nothing, when no window system answers on the display.
// `argc` and `argv` must outlive the call.
bool RunWindow(const ProgramState& state, int& argc, char** argv);

// The program's message box on the display: a modal box, the toolkit started at the first box
// (a run that shows none never starts it). When no window system answers, the boxes fall back to
// the console's form. `argc` and `argv` must outlive the box.
std::unique_ptr<MessageBox> CreateWindowMessageBox(int& argc, char** argv);

// What the window's module (libwebletter-window.so) hands the program: its extern "C" function
// WebletterWindowEntry returns a pointer to these two.
struct WindowEntry {
  bool (*run)(const ProgramState& state, int& argc, char** argv);
  std::unique_ptr<MessageBox> (*create_message_box)(int& argc, char** argv);
};
inline constexpr char kWindowModule[] = "libwebletter-window.so";
inline constexpr char kWindowEntryName[] = "WebletterWindowEntry";

}  // namespace webletter

#endif  // WEBLETTER_WINDOW_RUN_WINDOW_H_
