// Delivers a failed batch job's error report wherever the reporting mode says: the log file, an
// error mail to the section's ErrorsGoTo address, both, nowhere, or a message box.
#ifndef WEBLETTER_BATCH_ERROR_REPORT_H_
#define WEBLETTER_BATCH_ERROR_REPORT_H_

#include <string>

#include "base/message_box.h"
#include "base/program_state.h"
#include "services/mail/smtp_transport.h"  // MailLimits

namespace webletter {

// Reports `errors` (lines each ended by CR LF) of the job for `section` by state.report_mode,
// compared whole and case-sensitively: "log", "mail", "logmail" (the mail first, then the log
// line), "silent"; any other text, the empty text included, asks for a message box.
// A problem with the error mail appends its note to `errors` directly, without a line break of
// its own, so the log line and the message box show it: "Parameter(s) for reporting error by
// email missing" when ErrorsGoTo or ErrorsFrom is empty in the section and in Default, "Could
// not send error-message by email" when the mail failed, with " (the server's reply)" after it
// when the server refused the mail. No mail is tried for an empty section name, without an
// SMTPserver, or through the server in state.failed_smtp_server. A dry run (state.dry_run) shows
// the report in `message_box` only, whatever the mode.
void ReportErrors(std::string& errors, const std::string& section, const ProgramState& state,
                  MessageBox& message_box);

// Mail limits whose warnings (about the sign-in) go to standard error as "webletter: warning:
// <text>", and into the log as "Warning: <text>" where the reporting mode logs. `state` must
// outlive the limits.
MailLimits WarningMailLimits(const ProgramState& state);

// Writes "Warning: <text>" into the log where the reporting mode logs; nothing elsewhere.
void LogWarning(const ProgramState& state, std::string_view text);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_ERROR_REPORT_H_
