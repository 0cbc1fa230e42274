#include "app/main.h"

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/command_line.h"
#include "batch/log_file.h"
#include "batch/section_job.h"
#include "platform/masked_address.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/program_state.h"
#include "window/run_window.h"

namespace webletter {
namespace {

constexpr std::string_view kNoDisplayText =
    "webletter: no display is available for the window (neither DISPLAY nor WAYLAND_DISPLAY is "
    "set); run a batch job instead: webletter SECTION[,MODE] (webletter help lists the modes)";
constexpr std::string_view kDisplayUnreachableText =
    "webletter: the display named by DISPLAY or WAYLAND_DISPLAY does not answer, so the window "
    "cannot open; run a batch job instead: webletter SECTION[,MODE] (webletter help lists the "
    "modes)";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// A modal box on the display when there is one (the toolkit starts only with the first box),
// the console's form elsewhere.
std::unique_ptr<MessageBox> CreateMessageBox(int& argc, char** argv) {
  if (DisplayAvailable()) return CreateWindowMessageBox(argc, argv);
  return std::make_unique<ConsoleMessageBox>();
}

int RunWindowMode(const ProgramState& state, int& argc, char** argv) {
  if (!DisplayAvailable()) {
    std::cerr << kNoDisplayText << '\n';
    return kExitNoDisplay;
  }
  if (!RunWindow(state, argc, argv)) {
    std::cerr << kDisplayUnreachableText << '\n';
    return kExitNoDisplay;
  }
  return kExitSuccess;
}

int RunBatch(const Invocation& invocation, ProgramState& state, int& argc, char** argv) {
  state.report_mode = invocation.report_mode;
  const std::unique_ptr<MessageBox> message_box = CreateMessageBox(argc, argv);
  const bool sent = ProcessSection(invocation.section, state, *message_box);
  if (sent && state.report_mode.find("log") != std::string::npos) {
    WriteLog(state, "Entry '" + ShownSafely(invocation.section) + "' succesfully sent.");
  }
  return sent ? kExitSuccess : kExitJobFailed;
}

}  // namespace

bool DisplayAvailable() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

int Main(int argc, char** argv) {
  // Day and month names and the date forms follow the user's locale. Numbers are parsed without
  // regard to it.
  std::setlocale(LC_TIME, "");
  std::setlocale(LC_CTYPE, "");

  ProgramState state;
  state.app_dir = ProgramFolder();
  const Invocation invocation = ParseCommandLine(JoinArguments(argc, argv));
  switch (invocation.kind) {
    case RunKind::kWindow:
      return RunWindowMode(state, argc, argv);
    case RunKind::kHelp:
      CreateMessageBox(argc, argv)->Show(kUsageText);
      return kExitSuccess;
    case RunKind::kBatch:
      return RunBatch(invocation, state, argc, argv);
  }
  return kExitSuccess;
}

}  // namespace webletter
