// What the batch job's tests share: a loopback port where nothing listens and a message box that
// records.
#ifndef WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
#define WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace webletter::testing {

// "127.0.0.1:<port>" for a port that was free a moment ago and has nothing listening.
inline std::string ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

// Remembers every text shown instead of showing it.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, MessageStyle /*style*/) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_BATCH_JOB_TEST_SUPPORT_H_
