#include "batch/error_report.h"

#include <iostream>

#include "base/shown_text.h"
#include "batch/log_file.h"
#include "services/dates/locale_text.h"
#include "services/mail/mail_steps.h"
#include "settings/settings.h"

namespace webletter {
namespace {

constexpr std::string_view kErrorMailSubject = "Error message from webletter";
constexpr std::string_view kMissingParametersNote =
    "Parameter(s) for reporting error by email missing";
constexpr std::string_view kMailFailedNote = "Could not send error-message by email";

// Where a reporting mode sends the report.
struct ReportChannels {
  bool mail = false;
  bool log = false;
  bool message_box = false;
};

// Where the run's reporting mode sends the report. A dry run reports on standard error only,
// through the console's box.
ReportChannels ChannelsFor(const ProgramState& state) {
  if (state.dry_run) return {.message_box = true};
  const std::string_view mode = state.report_mode;
  if (mode == "log") return {.log = true};
  if (mode == "mail") return {.mail = true};
  if (mode == "logmail") return {.mail = true, .log = true};
  if (mode == "silent") return {};
  return {.message_box = true};
}

// The error mail's text: `now`, two blanks, the section, ": " and the errors.
std::string ErrorMailBody(std::string_view now, std::string_view section, std::string_view errors) {
  std::string body(now);
  body += "  ";
  body += section;
  body += ": ";
  body += errors;
  return body;
}

// The value of `key` in `section`, or in Default when the section leaves it empty.
std::string ValueWithDefault(const Settings& settings, std::string_view section, IniKey key) {
  std::string value = settings.GetIniValue(section, key);
  if (value.empty()) value = settings.GetIniValue(kDefaultSection, key);
  return value;
}

// Mails `errors` to the section's ErrorsGoTo when the settings allow it, appending a note to
// `errors` when the parameters are missing or the mail fails.
void MailErrors(std::string& errors, const std::string& section, const ProgramState& state) {
  const Settings settings(state.IniPath());
  const std::string to = ValueWithDefault(settings, section, IniKey::kErrorsGoTo);
  const std::string from = ValueWithDefault(settings, section, IniKey::kErrorsFrom);
  if (to.empty() || from.empty()) {
    errors += kMissingParametersNote;
    return;
  }
  std::string server = ValueWithDefault(settings, section, IniKey::kSmtpServer);
  // The job's own send has just failed through this server: keep the report off it.
  if (!state.failed_smtp_server.empty() && server == state.failed_smtp_server) server.clear();
  if (server.empty()) return;
  const std::string body = ErrorMailBody(NowAsText(), ShownSafely(section), errors);
  const Status sent = SendInSteps({.server = server,
                                   .from_address = from,
                                   .from_name = std::nullopt,
                                   .to_address = to,
                                   .to_name = {},
                                   .subject = std::string(kErrorMailSubject),
                                   .body = body,
                                   .body_charset = "utf-8",
                                   .html = std::nullopt},
                                  WarningMailLimits(state));
  if (!sent.ok()) {
    errors += kMailFailedNote;
    if (!sent.detail().empty()) errors += " (" + sent.detail() + ")";
  }
}

}  // namespace

MailLimits WarningMailLimits(const ProgramState& state) {
  MailLimits limits;
  limits.warn = [&state](std::string_view text) {
    const std::string shown = ShownSafely(text);
    std::cerr << "webletter: warning: " << shown << '\n';
    if (ChannelsFor(state).log) WriteLog(state, "Warning: " + shown);
  };
  return limits;
}

void LogWarning(const ProgramState& state, std::string_view text) {
  if (ChannelsFor(state).log) WriteLog(state, "Warning: " + ShownSafely(text));
}

void ReportErrors(std::string& errors, const std::string& section, const ProgramState& state,
                  MessageBox& message_box) {
  const ReportChannels channels = ChannelsFor(state);
  // An empty section name has no settings to mail the report by: skipped without a note.
  if (channels.mail && !section.empty()) MailErrors(errors, section, state);
  if (channels.log) WriteLog(state, "Error: " + errors);
  if (channels.message_box) message_box.Show(errors);
}

}  // namespace webletter
