#include "batch/section_job.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/shown_text.h"
#include "base/standard_messages.h"
#include "batch/error_report.h"
#include "batch/newsletter.h"
#include "services/dates/date_tag.h"
#include "services/fetch/page.h"
#include "services/fetch/page_fetch.h"
#include "services/mail/mail_steps.h"
#include "settings/settings.h"

namespace webletter {
namespace {

// A page passes the content check only when it carries this text, in exactly this letter case.
constexpr std::string_view kMarker = "<META NAME=\"webletterCheck\"";

// The values of one job, all as the settings file gives them.
struct JobValues {
  std::string url;
  std::string to_name;
  std::string to_address;
  std::string from_name;
  std::string from_address;
  std::string smtp_server;
  std::string subject;
  std::string check_content;
  std::string errors_go_to;  // read only to tell whether the section exists
  std::string date_offset;
};

struct KeyField {
  IniKey key;
  std::string JobValues::*field;
};

// Every key but URL, in the order they are read: any of them set in the section makes the
// section count as found, and each one left empty there comes from Default.
constexpr std::array<KeyField, 9> kSectionKeys{{
    {IniKey::kToName, &JobValues::to_name},
    {IniKey::kToAddress, &JobValues::to_address},
    {IniKey::kFromName, &JobValues::from_name},
    {IniKey::kFromAddress, &JobValues::from_address},
    {IniKey::kSmtpServer, &JobValues::smtp_server},
    {IniKey::kSubject, &JobValues::subject},
    {IniKey::kCheckContent, &JobValues::check_content},
    {IniKey::kErrorsGoTo, &JobValues::errors_go_to},
    {IniKey::kDateOffset, &JobValues::date_offset},
}};

// The job's error report and how lasting its worst problem is.
struct JobErrors {
  std::string text;
  JobFailure worst = JobFailure::kNone;

  void Add(std::string_view message, JobFailure kind) {
    AppendError(text, message);
    worst = std::max(worst, kind);
  }
  bool empty() const { return text.empty(); }
};

// "http://" or "https://" in any letter case, as libcurl takes the scheme.
bool IsHttpAddress(std::string_view url) {
  const std::string_view scheme = url.substr(0, url.find("://"));
  return EqualsIgnoringAsciiCase(scheme, "http") || EqualsIgnoringAsciiCase(scheme, "https");
}

// Reads the job's values and tells whether the section was found (any key but URL set in it).
bool ReadJobValues(const Settings& settings, const std::string& section, JobValues& values) {
  values.url = settings.GetIniValue(section, IniKey::kUrl);
  for (const auto& [key, field] : kSectionKeys) values.*field = settings.GetIniValue(section, key);
  if (values.url.empty()) values.url = settings.GetIniValue(kDefaultSection, IniKey::kUrl);
  values.url = WithDefaultScheme(values.url);

  bool found = false;
  for (const auto& [key, field] : kSectionKeys) {
    if (!(values.*field).empty()) {
      found = true;
    } else {
      values.*field = settings.GetIniValue(kDefaultSection, key);
    }
  }
  return found;
}

// The lines of a section that was not found: why, when the file itself could not be read.
void AddSectionNotFound(const Settings& settings, const std::string& section, JobErrors& errors) {
  errors.Add("Section '" + ShownSafely(section) + "' not found in webletter.ini",
             JobFailure::kSettings);
  if (const std::string problem = settings.ReadProblem(); !problem.empty()) {
    errors.Add("webletter.ini could not be read: " + ShownSafely(settings.path()) + ": " + problem,
               JobFailure::kSettings);
  }
}

// How lasting a failed fetch is. An address of another kind than http:// or https:// is the
// settings' fault when it is the section's own URL, the web server's when a redirect led there.
JobFailure FetchFailureOf(const Status& status, std::string_view url) {
  if (status.number() == error::kFetchUnsupportedScheme && IsHttpAddress(url)) {
    return JobFailure::kLasting;
  }
  return FailureOf(status);
}

// The page at `url`, fetched on `driver`, or nothing after adding the fetch failure to `errors`.
std::optional<Page> FetchJobPage(const std::string& url, JobErrors& errors, CurlDriver& driver) {
  Result<Page> page = FetchPageOn(driver, url);
  if (page.ok()) return std::move(page).value();
  errors.Add(
      "Page '" + ShownSafely(MaskPassword(url)) + "' could not be fetched: " + page.status().Text(),
      FetchFailureOf(page.status(), url));
  return std::nullopt;
}

// The lines of the checks of the values that fail, in the order the checks run.
std::vector<std::string_view> ValueProblems(const JobValues& values) {
  std::vector<std::string_view> problems;
  if (values.smtp_server.find('.') == std::string::npos) {
    problems.push_back("SMTP missing or invalid");
  }
  if (values.to_address.find('@') == std::string::npos) {
    problems.push_back("To-address missing or invalid");
  }
  if (values.from_address.find('@') == std::string::npos) {
    problems.push_back("From-address missing or invalid");
  }
  if (values.subject.empty()) problems.push_back("Subject line missing");
  return problems;
}

// The checks run, each adding its line when it fails; a page that could not be fetched (null)
// is not checked for the marker, its failure is already told.
void CheckPageAndValues(const JobValues& values, const Page* page, JobErrors& errors) {
  if (page != nullptr && IniNumber(values.check_content) != 0 && !page->Contains(kMarker)) {
    errors.Add("Page '" + ShownSafely(MaskPassword(values.url)) + "' failed webletter check",
               JobFailure::kLasting);
  }
  for (const std::string_view problem : ValueProblems(values)) {
    errors.Add(problem, JobFailure::kSettings);
  }
}

// A password written into SMTPserver is a secret only in a file that nobody else may read.
void WarnOfAReadablePassword(const Settings& settings, const std::string& server,
                             const MailLimits& limits) {
  if (MaskPassword(server) == server || !settings.OthersMayRead()) return;
  const std::string path = ShownSafely(settings.path());
  limits.warn(path + " holds the password of SMTPserver, and others can read it: make it private " +
              "with chmod 600 " + path + ", or keep the password in ~/.netrc");
}

// The mail steps of the page's message, its body left for the caller.
MailSteps PageSteps(const JobValues& values, const ProgramState& state) {
  std::string subject = values.subject;
  return {.server = values.smtp_server,
          .from_address = values.from_address,
          .from_name = values.from_name,
          .to_address = values.to_address,
          .to_name = values.to_name,
          .subject = FillDateTag(subject, IniNumber(values.date_offset)),
          .body = {},
          .html = true,
          .write_to = state.dry_run ? STDOUT_FILENO : -1};
}

// A mail session opened while the page is fetched on `driver`, once the values pass their
// checks: the dialogue up to the message overlaps the download, and the message follows when
// the page has passed its own check (a session given up is cut off before the message's first
// byte). Nothing in a dry run.
std::unique_ptr<SmtpSession> OpenSessionEarly(const JobValues& values, const ProgramState& state,
                                              CurlDriver& driver) {
  if (state.dry_run || !ValueProblems(values).empty()) return nullptr;
  return OpenSessionAhead(PageSteps(values, state), driver, WarningMailLimits(state));
}

// Mails the page as HTML, with the newsletter's parts (in a dry run: writes the message to
// standard output), on `session` where it can; returns the last failure of the mail steps.
Status SendPage(const Settings& settings, const JobValues& values, NewsletterParts parts,
                MailingList list, const ProgramState& state, SmtpSession* session) {
  const MailLimits limits = WarningMailLimits(state);
  WarnOfAReadablePassword(settings, values.smtp_server, limits);
  WarnAboutNewsletter(list, parts.page.bytes.size(), limits.warn,
                      [&state](std::string_view text) { LogWarning(state, text); });
  MailSteps steps = PageSteps(values, state);
  steps.body = std::move(parts.page.bytes);
  steps.body_charset = parts.page.charset;
  steps.plain_text = std::move(parts.text);
  steps.list = std::move(list);
  steps.session = session;
  return SendInSteps(std::move(steps), limits);
}

// Makes the newsletter's parts and sends them; a failure adds its line.
void SendNewsletter(const Settings& settings, const JobValues& values,
                    const NewsletterKeys& newsletter, Page page, MailingList list,
                    ProgramState& state, SmtpSession* session, JobErrors& errors) {
  Result<NewsletterParts> parts = MakeNewsletterParts(newsletter, std::move(page));
  if (!parts.ok()) {
    errors.Add(parts.status().Text(), JobFailure::kLasting);
    return;
  }
  const Status sent =
      SendPage(settings, values, std::move(parts).value(), std::move(list), state, session);
  if (!sent.ok()) {
    errors.Add(sent.Text(), FailureOf(sent));
    state.failed_smtp_server = values.smtp_server;
  }
}

}  // namespace

void AppendError(std::string& error_text, std::string_view message) {
  error_text += message;
  error_text += "\r\n";
}

std::string WithDefaultScheme(std::string_view url) {
  if (url.empty() || StartsWithUrlScheme(url)) return std::string(url);
  return "http://" + std::string(url);
}

JobFailure ProcessSection(const std::string& section, ProgramState& state,
                          MessageBox& message_box) {
  const Settings settings(state.IniPath());
  JobValues values;
  JobErrors errors;
  if (!ReadJobValues(settings, section, values)) AddSectionNotFound(settings, section, errors);
  if (values.url.empty()) errors.Add("No URL specified in INI file", JobFailure::kSettings);

  if (errors.empty()) {
    const NewsletterKeys newsletter = ReadNewsletterKeys(settings, section);
    Result<MailingList> list = NewsletterList(newsletter);
    CurlDriver driver;
    const std::unique_ptr<SmtpSession> session =
        list.ok() ? OpenSessionEarly(values, state, driver) : nullptr;
    std::optional<Page> page = FetchJobPage(values.url, errors, driver);
    CheckPageAndValues(values, page ? &*page : nullptr, errors);
    if (!list.ok()) errors.Add(list.status().Text(), JobFailure::kSettings);
    if (errors.empty()) {
      SendNewsletter(settings, values, newsletter, std::move(*page), std::move(list).value(), state,
                     session.get(), errors);
    }
  }

  if (errors.empty()) return JobFailure::kNone;
  ReportErrors(errors.text, section, state, message_box);
  return errors.worst;
}

}  // namespace webletter
