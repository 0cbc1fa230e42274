// A real server for a test, started as a child process on a free loopback port and stopped
// (with its process group) when the object goes. The server script prints "PORT <n>" as its
// first line on standard output once it listens.
#ifndef WEBLETTER_TESTS_SUPPORT_TEST_SERVER_H_
#define WEBLETTER_TESTS_SUPPORT_TEST_SERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace webletter::testing {

class TestServer {
 public:
  // Runs the Python script `script` (a file name in tests/support/) with `arguments`.
  // Fails the current test (and port() is 0) when the server does not report its port.
  TestServer(const std::string& script, const std::vector<std::string>& arguments);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:<port>"
  std::string HostPort() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

struct ProgramRun {
  int exit_status = -1;  // -1 when it did not exit normally (a signal, a time-out)
  std::string out;
  std::string err;
};

// Runs the program `argv[0]` with `argv` and no standard input, and waits for it (killing it
// after `timeout_seconds`). `environment` changes the inherited environment: "NAME=value" sets a
// variable, "-NAME" removes one.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::vector<std::string>& environment = {}, int timeout_seconds = 120);

// A loopback port that was free a moment ago and has nothing listening on it.
int UnusedLoopbackPort();

// The path of a file in tests/support/.
std::string SupportFile(const std::string& name);

}  // namespace webletter::testing

#endif  // WEBLETTER_TESTS_SUPPORT_TEST_SERVER_H_
