// A scripted server of tests/integration/servers.py for a benchmark, started through its
// command-line front scripts/serve.py as a child process on a free loopback port and
// stopped (with its process group) when the object goes.
#ifndef WEBLETTER_BENCH_BENCH_SERVER_H_
#define WEBLETTER_BENCH_BENCH_SERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace webletter::bench {

class BenchServer {
 public:
  // Runs serve.py with `arguments` ("http" ROUTES.toml, or "smtp"); aborts when the server
  // does not report its port.
  explicit BenchServer(const std::vector<std::string>& arguments);
  ~BenchServer();
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

  // "127.0.0.1:<port>"
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// A web server answering the routes of bench/routes.toml.
inline std::vector<std::string> WebRoutes() { return {"http", WEBLETTER_BENCH_ROUTES}; }

}  // namespace webletter::bench

#endif  // WEBLETTER_BENCH_BENCH_SERVER_H_
