#include "batch/job_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace webletter::testing {

std::string ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free loopback port");
  }
  ::close(fd);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

std::string EntryWithoutDate(const std::string& log) {
  const auto blanks = log.find("  ");
  return blanks == std::string::npos ? log : log.substr(blanks + 2);
}

}  // namespace webletter::testing
