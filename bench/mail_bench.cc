// What mailing a large page costs: the peak memory of fetching a 20 MiB page and mailing it as
// HTML (goal: below 1.5 times the page plus 30 MiB), and the time of composing and sending it.
// Starts the scripted web and SMTP servers on the loopback address; their memory is their own
// processes', not counted here.
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <utility>

#include "bench_server.h"
#include "benchmark/benchmark.h"
#include "services/fetch/page_fetch.h"
#include "services/mail/smtp_mailer.h"

namespace webletter {
namespace {

constexpr std::size_t kPageBytes = 20u << 20;
constexpr double kMiB = 1024.0 * 1024.0;

double PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Servers {
  bench::BenchServer web{bench::WebRoutes()};
  bench::BenchServer mail{{"smtp"}};
};

// Started at the first use; stopped when the program ends.
Servers& TheServers() {
  static Servers servers;
  return servers;
}

// Takes the page over, as the batch job does.
Status Mail(Page page) {
  SmtpMailer mailer;
  Status last;
  const auto note = [&](Status outcome) {
    if (!outcome.ok()) last = outcome;
  };
  note(mailer.SmtpHost(TheServers().mail.HostPort()));
  note(mailer.MailFrom("news@example.org"));
  note(mailer.MailFromName("Webletter Desk"));
  note(mailer.AddRecipient("reader@example.net", "Reader"));
  note(mailer.MailSubject("A large page"));
  note(mailer.MailBody(std::move(page.bytes), page.charset));
  note(mailer.AsHtml(true));
  note(mailer.SendMail());
  return last;
}

// Fetches the page at `path` and mails it; reports the process's peak memory, which is this
// job's only when it runs first in its process (--benchmark_filter picks one).
void MeasureFetchAndMail(benchmark::State& state, const std::string& path) {
  const std::string url = "http://" + TheServers().web.HostPort() + path;
  const double baseline = PeakMegabytes();
  double after_fetch = 0;
  for (auto _ : state) {
    Result<Page> page = FetchPage(url);
    after_fetch = PeakMegabytes();
    if (!page.ok() || page->bytes.size() != kPageBytes) {
      state.SkipWithError("the fetch failed");
      break;
    }
    if (!Mail(std::move(*page)).ok()) state.SkipWithError("the mail failed");
  }
  const double page_mib = kPageBytes / kMiB;
  state.counters["page_MiB"] = page_mib;
  state.counters["baseline_MiB"] = baseline;
  state.counters["fetch_peak_MiB"] = after_fetch;
  state.counters["peak_MiB"] = PeakMegabytes();
  state.counters["goal_MiB"] = 1.5 * page_mib + 30;
}

// Runs first, so that the process's peak is this job's: fetch the page, then mail it.
void BM_FetchAndMail20MiBPeakMemory(benchmark::State& state) {
  MeasureFetchAndMail(state, "/size/" + std::to_string(kPageBytes));
}
BENCHMARK(BM_FetchAndMail20MiBPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same page served gzip-compressed, its length unknown until its end. Its peak is its own
// only in a process of its own: --benchmark_filter=Gzip.
void BM_FetchAndMail20MiBGzipPeakMemory(benchmark::State& state) {
  MeasureFetchAndMail(state, "/gzip/" + std::to_string(kPageBytes));
}
BENCHMARK(BM_FetchAndMail20MiBGzipPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Composing and sending alone, the page already in memory (each run copies it first); its CR LF
// lines, the last one whole, go quoted-printable.
void BM_ComposeAndSend20MiB(benchmark::State& state) {
  const std::string line = "<p>abcdefghijklmnopqrstuvwxyz0123456789</p>\r\n";
  Page page;
  page.bytes.reserve(kPageBytes);
  while (page.bytes.size() + line.size() <= kPageBytes) page.bytes += line;
  page.bytes += std::string(kPageBytes - page.bytes.size() - 2, 'x') + "\r\n";
  for (auto _ : state) {
    if (!Mail(page).ok()) state.SkipWithError("the mail failed");
  }
}

// The same page in base64: its lines end in LF alone.
void BM_ComposeAndSend20MiBBase64(benchmark::State& state) {
  Page page;
  page.bytes.reserve(kPageBytes);
  while (page.bytes.size() < kPageBytes)
    page.bytes += "<p>abcdefghijklmnopqrstuvwxyz0123456789</p>\n";
  page.bytes.resize(kPageBytes);
  for (auto _ : state) {
    if (!Mail(page).ok()) state.SkipWithError("the mail failed");
  }
}
BENCHMARK(BM_ComposeAndSend20MiBBase64)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ComposeAndSend20MiB)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace webletter

BENCHMARK_MAIN();
