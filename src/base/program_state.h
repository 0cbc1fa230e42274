// The program-wide state that start-up sets and the batch job and the window read. There is one
// instance per process, owned by start-up and handed to what needs it, so that tests can point
// it at a folder of their own.
#ifndef WEBLETTER_BASE_PROGRAM_STATE_H_
#define WEBLETTER_BASE_PROGRAM_STATE_H_

#include <string>

namespace webletter {

struct ProgramState {
  // The folder of the executable, ending in exactly one "/": webletter.ini and webletter.log
  // live there.
  std::string app_dir;
  // The trimmed reporting mode of a batch run ("log", "mail", "logmail", "silent", or anything
  // else for a message box); empty when the command line gave none.
  std::string report_mode;
  // The SMTP server through which the job's own send has just failed, or empty.
  std::string failed_smtp_server;
  // A dry run (--dry-run): the job writes its message to standard output instead of sending it,
  // and reports on standard error only.
  bool dry_run = false;

  std::string IniPath() const { return app_dir + "webletter.ini"; }
  std::string LogPath() const { return app_dir + "webletter.log"; }
};

}  // namespace webletter

#endif  // WEBLETTER_BASE_PROGRAM_STATE_H_
