// Start-up: works out the program's folder, reads the command line and runs the usage text, the
// version, one batch job or the window. Returns the process's exit status. Nothing here uses the
// toolkit: a build with the window hands it in through WindowFunctions.
#ifndef WEBLETTER_APP_MAIN_H_
#define WEBLETTER_APP_MAIN_H_

#include <memory>

#include "base/message_box.h"
#include "base/program_state.h"

namespace webletter {

// The exit statuses, for a scheduler to tell what is worth retrying (sysexits.h's numbers).
inline constexpr int kExitSuccess = 0;     // help, the version, the window, a job that was sent
inline constexpr int kExitJobFailed = 1;   // the job failed for a lasting reason, or a misuse
inline constexpr int kExitNoWindow = 2;    // the window asked for where none can open
inline constexpr int kExitTemporary = 75;  // EX_TEMPFAIL: every problem may pass by itself
inline constexpr int kExitSettings = 78;   // EX_CONFIG: webletter.ini is at fault

// What start-up needs of the window (see window/run_window.h).
struct WindowFunctions {
  // Shows the window until it is closed; false when no window system answers.
  bool (*run)(const ProgramState& state, int& argc, char** argv);
  // A modal box on the display; `argc` and `argv` must outlive it.
  std::unique_ptr<MessageBox> (*create_message_box)(int& argc, char** argv);
  // Makes the window ready before `run`; false, having said why on standard error, when it
  // cannot be (its module is missing). Null where nothing needs loading.
  bool (*load)() = nullptr;
};

// `window` is null in a build without the window.
int Main(int argc, char** argv, const WindowFunctions* window);

// True when a display is available for windows and modal boxes (DISPLAY or WAYLAND_DISPLAY set).
bool DisplayAvailable();

}  // namespace webletter

#endif  // WEBLETTER_APP_MAIN_H_
