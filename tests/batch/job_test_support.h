// What the batch job's tests share: a loopback port where nothing listens and a message box that
// records.
#ifndef WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"
#include "support/test_server.h"

namespace webletter::testing {

// "127.0.0.1:<port>" for a port where nothing listens.
inline std::string ClosedLoopbackPort() {
  return "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
}

// Remembers every text shown instead of showing it.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, MessageStyle /*style*/) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
