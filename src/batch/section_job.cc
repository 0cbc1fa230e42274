#include "batch/section_job.h"

#include <array>
#include <optional>
#include <utility>

#include "batch/error_report.h"
#include "platform/masked_address.h"
#include "services/date_tag.h"
#include "services/mail_steps.h"
#include "services/page.h"
#include "services/page_fetch.h"
#include "settings/settings.h"

namespace webletter {
namespace {

constexpr std::string_view kDefaultSection = "Default";
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
  std::string_view key;
  std::string JobValues::*field;
};

// Every key but URL, in the order they are read: any of them set in the section makes the
// section count as found, and each one left empty there comes from Default.
constexpr std::array<KeyField, 9> kSectionKeys{{
    {"ToName", &JobValues::to_name},
    {"ToAddress", &JobValues::to_address},
    {"FromName", &JobValues::from_name},
    {"FromAddress", &JobValues::from_address},
    {"SMTPserver", &JobValues::smtp_server},
    {"Subject", &JobValues::subject},
    {"CheckContent", &JobValues::check_content},
    {"ErrorsGoTo", &JobValues::errors_go_to},
    {"DateOffset", &JobValues::date_offset},
}};

bool IsSchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

bool StartsWithScheme(std::string_view url) {
  const auto separator = url.find("://");
  if (separator == std::string_view::npos || separator == 0) return false;
  const std::string_view scheme = url.substr(0, separator);
  const char first = scheme.front();
  if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
  for (const char c : scheme) {
    if (!IsSchemeCharacter(c)) return false;
  }
  return true;
}

// Reads the job's values and tells whether the section was found (any key but URL set in it).
bool ReadJobValues(const Settings& settings, const std::string& section, JobValues& values) {
  values.url = settings.GetIniValue(section, "URL");
  for (const auto& [key, field] : kSectionKeys) values.*field = settings.GetIniValue(section, key);
  if (values.url.empty()) values.url = settings.GetIniValue(kDefaultSection, "URL");
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

// The page at `url`, or nothing after adding the fetch failure to `error_text`.
std::optional<Page> FetchJobPage(const std::string& url, std::string& error_text) {
  Result<Page> page = FetchPage(url);
  if (page.ok()) return std::move(page).value();
  AppendError(error_text, "Page '" + ShownSafely(MaskPassword(url)) +
                              "' could not be fetched: " + std::string(page.status().message()));
  return std::nullopt;
}

// The checks run, each adding its line when it fails; a page that could not be fetched (null)
// is not checked for the marker, its failure is already told.
void CheckPageAndValues(const JobValues& values, const Page* page, std::string& error_text) {
  if (page != nullptr && IniNumber(values.check_content) != 0 && !page->Contains(kMarker)) {
    AppendError(error_text,
                "Page '" + ShownSafely(MaskPassword(values.url)) + "' failed webletter check");
  }
  if (values.smtp_server.find('.') == std::string::npos) {
    AppendError(error_text, "SMTP missing or invalid");
  }
  if (values.to_address.find('@') == std::string::npos) {
    AppendError(error_text, "To-address missing or invalid");
  }
  if (values.from_address.find('@') == std::string::npos) {
    AppendError(error_text, "From-address missing or invalid");
  }
  if (values.subject.empty()) AppendError(error_text, "Subject line missing");
}

// Mails the page as HTML; returns the last failure of the mail steps.
Status SendPage(const JobValues& values, Page page, const ProgramState& state) {
  std::string subject = values.subject;
  return SendInSteps({.server = values.smtp_server,
                      .from_address = values.from_address,
                      .from_name = values.from_name,
                      .to_address = values.to_address,
                      .to_name = values.to_name,
                      .subject = FillDateTag(subject, IniNumber(values.date_offset)),
                      .body = std::move(page.bytes),
                      .body_charset = page.charset,
                      .html = true},
                     WarningMailLimits(state));
}

}  // namespace

void AppendError(std::string& error_text, std::string_view message) {
  error_text += message;
  error_text += "\r\n";
}

std::string WithDefaultScheme(std::string_view url) {
  if (url.empty() || StartsWithScheme(url)) return std::string(url);
  return "http://" + std::string(url);
}

bool ProcessSection(const std::string& section, ProgramState& state, MessageBox& message_box) {
  const Settings settings(state.IniPath());
  JobValues values;
  std::string error_text;
  if (!ReadJobValues(settings, section, values)) {
    AppendError(error_text, "Section '" + ShownSafely(section) + "' not found in webletter.ini");
  }
  if (values.url.empty()) AppendError(error_text, "No URL specified in INI file");

  if (error_text.empty()) {
    std::optional<Page> page = FetchJobPage(values.url, error_text);
    CheckPageAndValues(values, page ? &*page : nullptr, error_text);
    if (error_text.empty()) {
      const Status sent = SendPage(values, std::move(*page), state);
      if (!sent.ok()) {
        AppendError(error_text, sent.Text());
        state.failed_smtp_server = values.smtp_server;
      }
    }
  }

  if (error_text.empty()) return true;
  ReportErrors(error_text, section, state, message_box);
  return false;
}

}  // namespace webletter
