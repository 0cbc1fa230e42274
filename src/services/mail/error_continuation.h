// Runs a sequence of steps the way the program's mail and fetch sequences need it: a step that
// fails is abandoned, the next step still runs, and the last failure is the one that counts.
// The caller asks once, at the end, whether anything failed.
//
//   ErrorContinuation steps;
//   steps.Run([&] { return mailer.SmtpHost(server); });
//   steps.Run([&] { return mailer.SendMail(); });
//   if (steps.failed()) Report(steps.last_error().message());
#ifndef WEBLETTER_SERVICES_MAIL_ERROR_CONTINUATION_H_
#define WEBLETTER_SERVICES_MAIL_ERROR_CONTINUATION_H_

#include <utility>

#include "base/status.h"

namespace webletter {

class ErrorContinuation {
 public:
  // Runs one step, a callable returning Status. A failure replaces any earlier one.
  template <typename Step>
  void Run(Step&& step) {
    Note(std::forward<Step>(step)());
  }

  // Records the outcome of a step that has already run.
  void Note(Status outcome) {
    if (!outcome.ok()) last_error_ = outcome;
  }

  bool failed() const { return !last_error_.ok(); }
  // The last failure, or success when no step failed.
  Status last_error() const { return last_error_; }

 private:
  Status last_error_;
};

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_ERROR_CONTINUATION_H_
