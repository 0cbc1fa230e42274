// Reading one value from large settings files, and writing one into a 10,000-line file.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "benchmark/benchmark.h"
#include "settings/settings.h"

namespace webletter {
namespace {

// The folder of the settings files, removed with them when the program ends.
struct Folder {
  std::string path;
  Folder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "webletter-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern + "/";
  }
  ~Folder() { std::filesystem::remove_all(path); }
};

// A settings file of `sections` job sections of three lines each; the key to look for is in
// the last one.
std::string MakeSettingsFile(const std::string& name, int sections, int value_length) {
  static const Folder folder;
  std::string path = folder.path + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string filler(static_cast<std::size_t>(value_length), 'x');
  for (int i = 0; i < sections; ++i) {
    out << "[Job" << i << "]\r\nURL=http://www.example.com/" << filler << i
        << "\r\nSubject=Page #dd.mm.yyyy#\r\n";
  }
  return path;
}

void BM_ReadNearEndOf10000Lines(benchmark::State& state) {
  Settings settings(MakeSettingsFile("lines.ini", 3334, 0));
  for (auto _ : state) benchmark::DoNotOptimize(settings.GetIniValue("JOB3333", "subject"));
}
BENCHMARK(BM_ReadNearEndOf10000Lines);

void BM_ReadNearEndOf50MegaBytes(benchmark::State& state) {
  Settings settings(MakeSettingsFile("large.ini", 250000, 150));
  state.SetBytesProcessed(0);
  for (auto _ : state) benchmark::DoNotOptimize(settings.GetIniValue("JOB249999", "subject"));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(settings.path())));
}
BENCHMARK(BM_ReadNearEndOf50MegaBytes)->Unit(benchmark::kMillisecond);

void BM_MissingKeyIn10000Sections(benchmark::State& state) {
  Settings settings(MakeSettingsFile("sections.ini", 10000, 0));
  for (auto _ : state) benchmark::DoNotOptimize(settings.GetIniValue("NoSuchJob", "URL"));
}
BENCHMARK(BM_MissingKeyIn10000Sections);

void BM_WriteNearEndOf10000Lines(benchmark::State& state) {
  Settings settings(MakeSettingsFile("write.ini", 3334, 0));
  int round = 0;
  for (auto _ : state) settings.WriteIniValue("Job3333", "Subject", std::to_string(++round));
}
BENCHMARK(BM_WriteNearEndOf10000Lines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace webletter

BENCHMARK_MAIN();
