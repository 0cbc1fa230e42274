#include "app/main.h"

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/command_line.h"
#include "app/program_folder.h"
#include "base/shown_text.h"
#include "base/version.h"
#include "batch/log_file.h"
#include "batch/section_job.h"

namespace webletter {
namespace {

constexpr std::string_view kNoDisplayText =
    "webletter: no display is available for the window (neither DISPLAY nor WAYLAND_DISPLAY is "
    "set); run a batch job instead: webletter SECTION[,MODE] (webletter help lists the modes)";
constexpr std::string_view kDisplayUnreachableText =
    "webletter: the display named by DISPLAY or WAYLAND_DISPLAY does not answer, so the window "
    "cannot open; run a batch job instead: webletter SECTION[,MODE] (webletter help lists the "
    "modes)";
constexpr std::string_view kNoWindowText =
    "webletter: this build has no window; run a batch job instead: webletter SECTION[,MODE] "
    "(webletter help lists the modes)";

constexpr std::string_view kDryRunWithoutSection =
    "webletter: --dry-run needs a section: webletter --dry-run SECTION[,MODE]";

constexpr std::string_view kSynopsisHead =
    "Usage: webletter SECTION[,MODE]      mail the page of one section of webletter.ini\n";
constexpr std::string_view kSynopsisWindow =
    "       webletter                     open the window\n";
constexpr std::string_view kSynopsisNoWindow =
    "       webletter                     (this build has no window)\n";
constexpr std::string_view kSynopsisTail =
    "       webletter --dry-run SECTION[,MODE]\n"
    "                                     compose the mail, print it, send nothing\n"
    "       webletter help | --help | -h  show this text\n"
    "       webletter --version           show the version\n"
    "See webletter(1) for the settings and the files.\n"
    "\n";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The usage on standard output: how to call the program, then the usage text with the console's
// line ends.
void PrintUsage(bool has_window) {
  std::cout << kSynopsisHead << (has_window ? kSynopsisWindow : kSynopsisNoWindow) << kSynopsisTail
            << ConsoleText(kUsageText) << std::flush;
}

// A modal box on the display when the build has the window and there is a display (the toolkit
// starts only with the first box), the console's form elsewhere.
std::unique_ptr<MessageBox> CreateMessageBox(const WindowFunctions* window, int& argc,
                                             char** argv) {
  if (window != nullptr && DisplayAvailable()) return window->create_message_box(argc, argv);
  return std::make_unique<ConsoleMessageBox>();
}

int RunWindowMode(const WindowFunctions* window, const ProgramState& state, int& argc,
                  char** argv) {
  if (window == nullptr) {
    std::cerr << kNoWindowText << '\n';
    return kExitNoWindow;
  }
  if (!DisplayAvailable()) {
    std::cerr << kNoDisplayText << '\n';
    return kExitNoWindow;
  }
  if (window->load != nullptr && !window->load()) return kExitNoWindow;
  if (!window->run(state, argc, argv)) {
    std::cerr << kDisplayUnreachableText << '\n';
    return kExitNoWindow;
  }
  return kExitSuccess;
}

// "help" prints the usage like --help and, on a display, shows it in a box as well.
void ShowHelp(const WindowFunctions* window, int& argc, char** argv) {
  PrintUsage(window != nullptr);
  if (window != nullptr && DisplayAvailable())
    window->create_message_box(argc, argv)->Show(kUsageText);
}

int ExitStatusOf(JobFailure failure) {
  switch (failure) {
    case JobFailure::kNone:
      return kExitSuccess;
    case JobFailure::kTemporary:
      return kExitTemporary;
    case JobFailure::kSettings:
      return kExitSettings;
    case JobFailure::kLasting:
      break;
  }
  return kExitJobFailed;
}

int RunBatch(const Invocation& invocation, const WindowFunctions* window, ProgramState& state,
             int& argc, char** argv) {
  state.report_mode = invocation.report_mode;
  state.dry_run = invocation.dry_run;
  // A dry run reports on standard error only, never in a box on the display.
  const std::unique_ptr<MessageBox> message_box =
      state.dry_run ? std::make_unique<ConsoleMessageBox>() : CreateMessageBox(window, argc, argv);
  const JobFailure failure = ProcessSection(invocation.section, state, *message_box);
  if (failure == JobFailure::kNone && !state.dry_run &&
      state.report_mode.find("log") != std::string::npos) {
    WriteLog(state, "Entry '" + ShownSafely(invocation.section) + "' succesfully sent.");
  }
  return ExitStatusOf(failure);
}

}  // namespace

bool DisplayAvailable() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

int Main(int argc, char** argv, const WindowFunctions* window) {
  // Day and month names and the date forms follow the user's locale. Numbers are parsed without
  // regard to it.
  std::setlocale(LC_TIME, "");
  std::setlocale(LC_CTYPE, "");
  // A write past the file-size limit (ulimit -f) fails as a full disk does instead of killing
  // the run, which may already have sent its mail.
  std::signal(SIGXFSZ, SIG_IGN);

  ProgramState state;
  state.app_dir = ProgramFolder();
  const Invocation invocation = ParseCommandLine(JoinArguments(argc, argv));
  switch (invocation.kind) {
    case RunKind::kWindow:
      return RunWindowMode(window, state, argc, argv);
    case RunKind::kHelp:
      ShowHelp(window, argc, argv);
      return kExitSuccess;
    case RunKind::kUsage:
      PrintUsage(window != nullptr);
      return kExitSuccess;
    case RunKind::kVersion:
      std::cout << "webletter " << kVersion << std::endl;
      return kExitSuccess;
    case RunKind::kBatch:
      return RunBatch(invocation, window, state, argc, argv);
    case RunKind::kMisuse:
      std::cerr << kDryRunWithoutSection << '\n';
      return kExitJobFailed;
  }
  return kExitSuccess;
}

}  // namespace webletter
