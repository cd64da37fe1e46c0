// SPDX-License-Identifier: MIT
// One download of a two-area image to a TCP receiver on 127.0.0.1 with its real pauses (11 s,
// 26 s, 11 s and the final 11 s: about 60 s of wall time), reporting the CPU time used meanwhile.
// The pauses and waits sleep, so the CPU time is that of sending 2 MiB and little else.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "BenchHost.h"

namespace {

using namespace corvelle;

double CpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Download_RealPauses(benchmark::State& state) {
  const bench::TempImage image(0x200000);
  bench::LoopbackReceiver receiver;
  for (auto _ : state) {
    bench::BenchHost host(false);
    const double process = CpuSeconds(RUSAGE_SELF), thread = CpuSeconds(RUSAGE_THREAD);
    if (DownloadFontSet(bench::LoopbackRequest(host, receiver, image.Path())) != DownloadResult::Completed) {
      state.SkipWithError("the download did not complete");
    }
    state.counters["process_cpu_s"] = CpuSeconds(RUSAGE_SELF) - process;
    state.counters["download_thread_cpu_s"] = CpuSeconds(RUSAGE_THREAD) - thread;
  }
}

}  // namespace

BENCHMARK(Download_RealPauses)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
