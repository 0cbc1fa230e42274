#include "batch/job_failure.h"

#include "base/standard_messages.h"

namespace webletter {
namespace {

bool IsTemporary(int number) {
  switch (number) {
    case error::kFetchCannotConnect:
    case error::kFetchHostNotFound:
    case error::kFetchConnectionBroken:
    case error::kFetchTimeout:
    case error::kFetchServerError:
    case error::kFetchTooManyRequests:
    case error::kMailServerNotFound:
    case error::kMailCannotConnect:
    case error::kMailTimeout:
    case error::kMailConnectionClosed:
      return true;
    default:
      return false;
  }
}

// A value of the section that the mail or the fetch could not use.
bool IsSettingsFault(int number) {
  switch (number) {
    case error::kFetchBadAddress:
    case error::kFetchUnsupportedScheme:
    case error::kFetchHostNameInvalid:
    case error::kMailServerNameInvalid:
    case error::kMailServerInvalid:
    case error::kMailNoRecipient:
    case error::kMailNoSender:
    case error::kMailAddressInvalid:
    case error::kMailLoginUnusable:
    case error::kOverflow:  // the subject's date tag: Subject or DateOffset
    case error::kInvalidArgument:
      return true;
    default:
      return false;
  }
}

}  // namespace

JobFailure FailureOf(const Status& status) {
  if (status.ok()) return JobFailure::kNone;
  if (IsSettingsFault(status.number())) return JobFailure::kSettings;
  // A server's reply in the detail starts with its code: 4xx asks to try again later.
  if (IsTemporary(status.number()) || status.detail().starts_with('4')) {
    return JobFailure::kTemporary;
  }
  return JobFailure::kLasting;
}

}  // namespace webletter
