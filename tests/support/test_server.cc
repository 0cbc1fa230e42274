#include "support/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "gtest/gtest.h"

namespace webletter::testing {
namespace {

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Reads one line from `fd`, waiting at most `timeout`.
std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n <= 0) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

}  // namespace

int UnusedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string SupportFile(const std::string& name) {
  return std::string(WEBLETTER_TEST_SUPPORT_DIR) + "/" + name;
}

TestServer::TestServer(const std::string& script, const std::vector<std::string>& arguments) {
  std::vector<std::string> args{WEBLETTER_TEST_PYTHON, "-u", SupportFile(script)};
  args.insert(args.end(), arguments.begin(), arguments.end());
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    std::vector<char*> argv = ArgvOf(args);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  const std::string line = ReadLine(pipe_fds[0], std::chrono::seconds(20));
  ::close(pipe_fds[0]);
  if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
  if (port_ == 0) ADD_FAILURE() << "test server " << script << " did not start: '" << line << "'";
}

TestServer::~TestServer() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

std::string TestServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& environment, int timeout_seconds) {
  std::vector<std::string> args = arguments;
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return {};
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    for (const std::string& change : environment) {
      if (change.starts_with("-")) {
        ::unsetenv(change.c_str() + 1);
      } else {
        const auto equals = change.find('=');
        ::setenv(change.substr(0, equals).c_str(), change.substr(equals + 1).c_str(), 1);
      }
    }
    std::vector<char*> argv = ArgvOf(args);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ProgramRun run;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool timed_out = false;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  if (timed_out) ::kill(pid, SIGKILL);
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) return run;
  run.exit_status = (!timed_out && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace webletter::testing
