#include "bench_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace webletter::bench {

BenchServer::BenchServer(const std::vector<std::string>& arguments) {
  std::vector<std::string> args{WEBLETTER_TEST_PYTHON, "-u", WEBLETTER_BENCH_SERVERS};
  args.insert(args.end(), arguments.begin(), arguments.end());
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) std::abort();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::dup2(out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  FILE* from_server = ::fdopen(out[0], "r");
  if (from_server == nullptr || std::fscanf(from_server, "PORT %d", &port_) != 1) {
    std::fprintf(stderr, "bench: the server %s did not start\n", arguments.front().c_str());
    std::abort();
  }
  std::fclose(from_server);
}

BenchServer::~BenchServer() {
  ::kill(-pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace webletter::bench
