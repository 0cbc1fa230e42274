// What the batch job's tests share: a loopback port where nothing listens, a message box that
// records, and a log entry without its date.
#ifndef WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace webletter::testing {

// "127.0.0.1:<port>" for a port that was free a moment ago and has nothing listening.
std::string ClosedLoopbackPort();

// Remembers every text shown instead of showing it.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, MessageStyle /*style*/) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

// A log of one entry without its date and time: everything after the first two blanks.
std::string EntryWithoutDate(const std::string& log);

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
