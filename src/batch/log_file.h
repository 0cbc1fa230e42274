// webletter.log: a journal for people, appended to and never read by the program.
#ifndef WEBLETTER_BATCH_LOG_FILE_H_
#define WEBLETTER_BATCH_LOG_FILE_H_

#include <string_view>

#include "base/program_state.h"

namespace webletter {

// Appends one entry to state.LogPath(): the local date and time (the locale's short date, a
// blank, its long time), two blanks, `message` without one final CR LF, and CR LF. The entry is
// written with one write to a file opened for appending, so entries of two processes never
// interleave, and written whole or not at all: a full disk leaves no fragment. Only a regular
// file is written (a FIFO never blocks the run), never through a symbolic link. A log that
// cannot be written prints a line on standard error naming the file and the reason, then the
// entry's lines, each after "webletter: "; the run goes on.
void WriteLog(const ProgramState& state, std::string_view message);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_LOG_FILE_H_
