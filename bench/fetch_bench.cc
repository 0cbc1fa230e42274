// What the page fetch costs: the processor time a wait uses while a slow server thinks (window
// style, with a callback between waits, and batch style), the time and peak memory of a 20 MiB
// page, fetched and decoded, and the time its charset takes to find when it names none. Starts
// the scripted web server on loopback.
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "bench_server.h"
#include "benchmark/benchmark.h"
#include "services/fetch/charset.h"
#include "services/fetch/page_fetch.h"

namespace webletter {
namespace {

double ProcessorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Started at the first use; stopped when the program ends.
bench::BenchServer& Server() {
  static bench::BenchServer server(bench::WebRoutes());
  return server;
}

std::string Url(const std::string& path) { return "http://" + Server().HostPort() + path; }

// Fetches `path` once per iteration and reports processor and wall time per fetch.
void MeasureFetch(benchmark::State& state, const std::string& path, bool window_style) {
  const std::string url = Url(path);
  long callbacks = 0;
  const FetchWaitCallback pump = [&] {
    ++callbacks;
    return true;
  };
  double processor = 0;
  double wall = 0;
  for (auto _ : state) {
    const double processor_before = ProcessorSeconds();
    const auto wall_before = std::chrono::steady_clock::now();
    Result<Page> page = window_style ? FetchPage(url, pump) : FetchPage(url);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    processor += ProcessorSeconds() - processor_before;
    if (!page.ok()) state.SkipWithError("the fetch failed");
    benchmark::DoNotOptimize(page);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = processor / n * 1000;
  state.counters["wall_ms"] = wall / n * 1000;
  state.counters["cpu_percent"] = wall > 0 ? processor / wall * 100 : 0;
  state.counters["callbacks"] = static_cast<double>(callbacks) / n;
}

void BM_SlowResponseWindowWait(benchmark::State& state) {
  MeasureFetch(state, "/slow?delay=3", true);
}
BENCHMARK(BM_SlowResponseWindowWait)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SlowResponseBatchWait(benchmark::State& state) {
  MeasureFetch(state, "/slow?delay=3", false);
}
BENCHMARK(BM_SlowResponseBatchWait)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Fetch20MiBWindowWait(benchmark::State& state) {
  MeasureFetch(state, "/size/20971520", true);
}
BENCHMARK(BM_Fetch20MiBWindowWait)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// Fetch, detect the charset and decode as the marker check does; reports the process's peak
// memory, which includes the server-independent baseline of this program.
void BM_Fetch20MiBAndDecodePeakMemory(benchmark::State& state) {
  const std::string url = Url("/size/20971520");
  for (auto _ : state) {
    Result<Page> page = FetchPage(url);
    if (!page.ok()) state.SkipWithError("the fetch failed");
    const std::string text = page->DecodedText();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["peak_MiB"] = PeakMegabytes();
}
BENCHMARK(BM_Fetch20MiBAndDecodePeakMemory)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The charset of a 20 MiB page in a single-byte charset, the guesser's slow case (it reads all
// it is given), named by the header or, unlabelled, guessed from the page's text.
void BM_DetectCharset20MiB(benchmark::State& state, const char* path, const char* header) {
  Result<Page> page = FetchPage(Url(path));
  if (!page.ok()) state.SkipWithError("the fetch failed");
  const std::string_view bytes = page.ok() ? std::string_view(page->bytes) : "";
  std::string charset;
  for (auto _ : state) {
    charset = DetectCharset(header, bytes);
    benchmark::DoNotOptimize(charset.data());
  }
  state.SetLabel(charset);
}
BENCHMARK_CAPTURE(BM_DetectCharset20MiB, labelled, "/koi8-r", "text/html; charset=koi8-r")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectCharset20MiB, unlabelled, "/koi8-r", "text/html")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DetectCharset20MiB, hebrew_unlabelled, "/windows-1255", "text/html")
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace webletter

BENCHMARK_MAIN();
