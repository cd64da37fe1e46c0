// SPDX-License-Identifier: MIT
// The download's chunk loop to a TCP receiver on 127.0.0.1, with the pauses taken out, next to a
// plain loop that writes the same image in the same 512-byte pieces to the same kind of socket.
// Both are timed from the first chunk to the last, so the opens, announcements and closes of the
// download are left out; Download/Whole times everything but the pauses.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


#include "BenchHost.h"
#include "download/Download.h"

namespace {

using namespace corvelle;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kImageBytes = 0x200000;  // two areas
constexpr int kSocketBuffer = 2 * 1024 * 1024;   // what the TCP/IP kind asks for

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

void Baseline_PlainLoop(benchmark::State& state) {
  char chunk[512];
  for (auto _ : state) {
    const int file = ::open(TheImage().Path().c_str(), O_RDONLY | O_CLOEXEC);
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &kSocketBuffer, sizeof kSocketBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(Receiver().Port()));
    if (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) state.SkipWithError("connect");
    const auto start = Clock::now();
    for (ssize_t n; (n = ::read(file, chunk, sizeof chunk)) > 0;) {
      for (ssize_t sent = 0; sent < n;) {
        const ssize_t w = ::write(sock, chunk + sent, static_cast<std::size_t>(n - sent));
        if (w <= 0) break;
        sent += w;
      }
    }
    state.SetIterationTime(Seconds(Clock::now() - start));
    ::close(sock);
    ::close(file);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageBytes));
}

}  // namespace

BENCHMARK(Baseline_PlainLoop)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Download_ChunkLoop)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Download_Whole)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
