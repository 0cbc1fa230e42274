// The window on a real X server while "Send" waits on a mail server: one that takes the
// connection but says nothing for 10 seconds, one that takes 15 seconds to confirm the message
// and one that never confirms it (libcurl gives up after two minutes). Each gives the longest gap
// between two paints of the window (goal: under 200 ms, so that the window stays painted and
// answers the window manager). A timer asks for a repaint every 10 ms. The benchmark starts its
// own Xvfb and skips, saying so, without one.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_server.h"
#include "bench_window.h"
#include "benchmark/benchmark.h"

namespace webletter {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStall = std::chrono::seconds(10);

// A loopback port that accepts connections (the kernel completes them) but never says a word.
// Closing it after the stall resets the waiting connection, which ends the send.
class SilentServer {
 public:
  SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (fd_ < 0 || ::bind(fd_, generic, length) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, generic, &length) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { Close(); }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_;
  int port_ = 0;
};

// Notes the time of every paint of the object it watches.
class PaintClock : public QObject {
 public:
  std::vector<Clock::time_point> paints;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) paints.push_back(Clock::now());
    return false;
  }
};

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Clicks "Send" with the mail going to `server` and gives the longest gap between two paints
// while it runs; `during` runs on a thread of its own meanwhile.
void MeasureSend(benchmark::State& state, const std::string& server,
                 const std::function<void()>& during) {
  bench::Window w;
  while (!w.window.windowHandle()->isExposed()) QCoreApplication::processEvents();
  w.Find<QLineEdit>("txtFromAddress")->setText(QStringLiteral("sender@example.org"));
  w.Find<QLineEdit>("txtToAddress")->setText(QStringLiteral("reader@example.org"));
  w.Find<QLineEdit>("txtSMTP")->setText(QString::fromStdString(server));
  auto* send = w.Find<QPushButton>("btnSend");
  send->setEnabled(true);

  PaintClock clock;
  w.window.installEventFilter(&clock);
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, &w.window, [&w] { w.window.update(); });
  repaint.start(10);
  std::thread meanwhile(during);
  const Clock::time_point start = Clock::now();
  send->click();
  const Clock::time_point end = Clock::now();
  meanwhile.join();
  repaint.stop();
  w.window.removeEventFilter(&clock);

  std::vector<Clock::time_point> marks{start};
  marks.insert(marks.end(), clock.paints.begin(), clock.paints.end());
  marks.push_back(end);
  Clock::duration longest{};
  for (std::size_t i = 1; i < marks.size(); ++i)
    longest = std::max(longest, marks[i] - marks[i - 1]);
  state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  state.counters["longest_gap_ms"] = Milliseconds(longest);
  state.counters["paints"] = static_cast<double>(clock.paints.size());
}

void BM_PaintGapsDuringStalledSend(benchmark::State& state) {
  for (auto _ : state) {
    SilentServer server;
    MeasureSend(state, server.HostPort(), [&server] {
      std::this_thread::sleep_for(kStall);
      server.Close();
    });
  }
}
BENCHMARK(BM_PaintGapsDuringStalledSend)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A server that answers every step at once but takes `reply` for the end of the message.
void PaintGapsAtTheEnd(benchmark::State& state, const char* reply) {
  for (auto _ : state) {
    const bench::BenchServer server({"smtp", "--reply", std::string("END=") + reply});
    MeasureSend(state, server.HostPort(), [] {});
  }
}

void BM_PaintGapsWhileTheServerConfirmsLate(benchmark::State& state) {
  PaintGapsAtTheEnd(state, "wait 15 250 Message accepted");
}
BENCHMARK(BM_PaintGapsWhileTheServerConfirmsLate)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_PaintGapsWhenTheServerNeverConfirms(benchmark::State& state) {
  PaintGapsAtTheEnd(state, "stall");
}
BENCHMARK(BM_PaintGapsWhenTheServerNeverConfirms)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Starts Xvfb on a display of its own choosing. Returns its process id (0: not installed).
pid_t StartXvfb(std::string& display) {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return 0;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    const std::string fd = std::to_string(ready[1]);
    ::fcntl(ready[1], F_SETFD, 0);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  char number[16] = {};
  const ssize_t got = ::read(ready[0], number, sizeof number - 1);
  ::close(ready[0]);
  if (got <= 0) {
    ::waitpid(pid, nullptr, 0);
    return 0;
  }
  display = ":" + std::string(number, static_cast<std::size_t>(got) - (number[got - 1] == '\n'));
  return pid;
}

}  // namespace
}  // namespace webletter

int main(int argc, char** argv) {
  std::string display;
  const pid_t xvfb = webletter::StartXvfb(display);
  if (xvfb == 0) {
    std::printf("send_paint_bench: skipped: no Xvfb to run on (apt-get install xvfb)\n");
    return 0;
  }
  ::setenv("DISPLAY", display.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  int status = 0;
  {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  ::kill(-xvfb, SIGTERM);
  ::waitpid(xvfb, &status, 0);
  return 0;
}
