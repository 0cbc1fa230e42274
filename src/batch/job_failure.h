// How lasting the problems of a failed batch job are, so that a scheduler can tell a run worth
// retrying from one that needs a person: a server that could not be reached may answer in a
// minute, a missing section never appears by itself.
#ifndef WEBLETTER_BATCH_JOB_FAILURE_H_
#define WEBLETTER_BATCH_JOB_FAILURE_H_

#include "base/status.h"

namespace webletter {

// Ordered from the least to the most lasting: a job with several problems counts as its most
// lasting one (std::max).
enum class JobFailure {
  kNone,       // the page was sent (or, in a dry run, would be)
  kTemporary,  // may pass by itself: a server out of reach, a time limit, a server's 4xx, HTTP 5xx
  kLasting,    // anything else: a page that fails its check or is missing, a refusal, a sign-in
  kSettings,   // webletter.ini is at fault: no file, no section, no URL, a value that fails its
               // check
};

// The kind of a failed page fetch or mail send. A mail server's refusal counts by its reply code
// (the detail's first digit): 4xx is temporary, 5xx lasting. A message that the server may have
// taken without confirming it in time is lasting: a retry could send it twice.
JobFailure FailureOf(const Status& status);

}  // namespace webletter

#endif  // WEBLETTER_BATCH_JOB_FAILURE_H_
