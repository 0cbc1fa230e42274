#include "app/main.h"

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app/command_line.h"
#include "batch/log_file.h"
#include "batch/section_job.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/program_state.h"

namespace webletter {
namespace {

constexpr std::string_view kNoDisplayText =
    "webletter: no display is available for the window (neither DISPLAY nor WAYLAND_DISPLAY is "
    "set); run a batch job instead: webletter SECTION[,MODE] (webletter help lists the modes)";

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

std::unique_ptr<MessageBox> CreateMessageBox() { return std::make_unique<ConsoleMessageBox>(); }

int RunWindowMode(ProgramState& /*state*/) {
  if (!DisplayAvailable()) {
    std::cerr << kNoDisplayText << '\n';
    return kExitNoDisplay;
  }
  std::cerr << "webletter: the window is not part of this build yet\n";
  return kExitNoDisplay;
}

int RunBatch(const Invocation& invocation, ProgramState& state) {
  state.report_mode = invocation.report_mode;
  const std::unique_ptr<MessageBox> message_box = CreateMessageBox();
  const bool sent = ProcessSection(invocation.section, state, *message_box);
  if (sent && state.report_mode.find("log") != std::string::npos) {
    WriteLog(state, "Entry '" + invocation.section + "' succesfully sent.");
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
      return RunWindowMode(state);
    case RunKind::kHelp:
      CreateMessageBox()->Show(kUsageText);
      return kExitSuccess;
    case RunKind::kBatch:
      return RunBatch(invocation, state);
  }
  return kExitSuccess;
}

}  // namespace webletter
