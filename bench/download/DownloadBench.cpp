// SPDX-License-Identifier: MIT
// The download to a TCP receiver on 127.0.0.1 with the pauses taken out, next to the wire's floor
// measured in the same run: socat sending the same image to the same receiver.
// Download/Whole times everything but the pauses (the opens, announcements and closes included,
// as socat's connect and close are); Download/ChunkLoop only the chunk loops.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchHost.h"
#include "download/Download.h"

extern char** environ;

namespace {

using namespace corvelle;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kImageBytes = 0x200000;  // two areas

const bench::TempImage& TheImage() {
  static const bench::TempImage image(kImageBytes);
  return image;
}

bench::LoopbackReceiver& Receiver() {
  static bench::LoopbackReceiver receiver;
  return receiver;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One download with the pauses taken out; the time its chunk loops took, or the whole of it.
double TimedDownload(benchmark::State& state, bool wholeDownload) {
  bench::BenchHost host(true);
  DownloadRequest request = bench::LoopbackRequest(host, Receiver(), TheImage().Path());
  Clock::duration looping{};
  Clock::time_point sendingFrom;
  request.onStep = [&](const DownloadStep& step) {
    if (step.state == DownloadState::Sending) {
      sendingFrom = Clock::now();
    } else if (sendingFrom != Clock::time_point{}) {
      looping += host.lastPosition - sendingFrom;
      sendingFrom = {};
    }
  };
  const auto start = Clock::now();
  if (DownloadFontSet(request) != DownloadResult::Completed) {
    state.SkipWithError("the download did not complete");
  }
  return Seconds(wholeDownload ? Clock::now() - start : looping);
}

void Download_ChunkLoop(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(TimedDownload(state, false));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}

void Download_Whole(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(TimedDownload(state, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}

// The wire's floor: socat copying the same image in 64 KiB blocks to the same receiver, timed
// from its start to its exit; socat in its own default blocks (8 KiB); and socat in the
// download's own 4096-byte sends, to tell what the block size costs on its own (each send wakes
// the receiver).
void Baseline_Socat(benchmark::State& state) {
  std::string socat = "socat", unidirectional = "-u", block = "-b", size = std::to_string(state.range(0)),
              from = "OPEN:" + TheImage().Path(), to = "TCP:127.0.0.1:" + std::to_string(Receiver().Port());
  char* argv[] = {socat.data(), unidirectional.data(), block.data(), size.data(), from.data(), to.data(), nullptr};
  for (auto _ : state) {
    const auto start = Clock::now();
    pid_t pid = -1;
    int status = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0 || ::waitpid(pid, &status, 0) != pid ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("socat did not run (is it installed?)");
      break;
    }
    state.SetIterationTime(Seconds(Clock::now() - start));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}

}  // namespace

BENCHMARK(Baseline_Socat)->Arg(65536)->Arg(8192)->Arg(4096)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Download_ChunkLoop)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Download_Whole)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
