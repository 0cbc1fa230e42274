// The batch job: one section of webletter.ini from reading to sending. It reads the section's
// values (falling back to section Default key by key), fetches the page through the fetch
// service, checks the page and the values, mails the page as HTML and reports whatever went
// wrong. It opens no window and never writes to the settings file, so it runs where no display
// exists and leaves section Default as it found it.
#ifndef WEBLETTER_BATCH_SECTION_JOB_H_
#define WEBLETTER_BATCH_SECTION_JOB_H_

#include <string>
#include <string_view>

#include "base/message_box.h"
#include "base/program_state.h"
#include "batch/job_failure.h"

namespace webletter {

// Runs the job for `section` (the name exactly as the command line gave it). Returns
// JobFailure::kNone when the page was sent without any error. Otherwise every error has been
// reported by the state's reporting mode (see ReportErrors) and the most lasting kind of them
// is returned; after a failed send state.failed_smtp_server holds the server that failed.
// In a dry run (state.dry_run) the message goes to standard output instead of the server.
// When webletter.ini cannot be read, a line with its full name and the system's reason follows
// the line of the missing section.
JobFailure ProcessSection(const std::string& section, ProgramState& state, MessageBox& message_box);

// Adds `message` and CR LF to `error_text`: the one way a line enters a job's error report.
void AppendError(std::string& error_text, std::string_view message);

// The address as the job requests it: "http://" in front when `url` names no scheme. A scheme is
// letters, digits, "+", "-" or "." starting with a letter, followed by "://" ("http://",
// "HTTPS://", "ftp://" are kept as they stand). An empty address stays empty.
std::string WithDefaultScheme(std::string_view url);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_SECTION_JOB_H_
