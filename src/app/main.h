// Start-up: works out the program's folder, reads the command line and runs the usage text, one
// batch job or the window. Returns the process's exit status.
#ifndef WEBLETTER_APP_MAIN_H_
#define WEBLETTER_APP_MAIN_H_

namespace webletter {

inline constexpr int kExitSuccess = 0;    // help, the window, a job that was sent
inline constexpr int kExitJobFailed = 1;  // the batch job reported errors
inline constexpr int kExitNoDisplay = 2;  // window mode asked for where no display exists

int Main(int argc, char** argv);

// True when a display is available for windows and modal boxes (DISPLAY or WAYLAND_DISPLAY set).
bool DisplayAvailable();

}  // namespace webletter

#endif  // WEBLETTER_APP_MAIN_H_
