// SPDX-License-Identifier: MIT
// Whole downloads over real transports that break or stall part-way: a printer that closes the
// connection, one that stops reading, a serial line whose far end goes away or stays in XOFF, a
// USB bridge stuck in XOFF, a disk that fills. Each runs in a child under a time limit and must
// end with one clear outcome: one message or none, the progress window gone, the busy cursor
// off, and never a closing message for a transfer that did not finish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/Download.h"
#include "hardening/HardeningKit.h"
#include "ports/UsbBackend.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

constexpr std::int64_t kAreaStarts = 11'000;  // fake time at which area 1 starts, after its pause
constexpr std::size_t kLimit = 100'000;       // bytes a far end takes before its fault

using test::TransportHost;

// A USB bridge that takes kLimit bytes, then answers XOFF to every flow-control check.
struct XoffBridge : D2xx {
  explicit XoffBridge(std::size_t& taken) : taken(taken) {}
  int OpenEx(const std::string&, unsigned, D2xxHandle*) override { return kD2xxOk; }
  int ResetDevice(D2xxHandle) override { return kD2xxOk; }
  int SetTimeouts(D2xxHandle, unsigned, unsigned) override { return kD2xxOk; }
  int Purge(D2xxHandle, unsigned) override { return kD2xxOk; }
  int Close(D2xxHandle) override { return kD2xxOk; }
  int Write(D2xxHandle, const void*, unsigned count, unsigned* written) override { return Give(written, count, count); }
  int GetQueueStatus(D2xxHandle, unsigned* waiting) override { return Give(waiting, 1); }
  int Read(D2xxHandle, void* buffer, unsigned, unsigned* read) override {
    *static_cast<std::uint8_t*>(buffer) = taken < kLimit ? UsbBackend::kXon : UsbBackend::kXoff;
    return Give(read, 1);
  }
  // Answers `value` through `out`, with `more` bytes taken.
  int Give(unsigned* out, unsigned value, std::size_t more = 0) {
    *out = value;
    taken += more;
    return kD2xxOk;
  }
  std::size_t& taken;
};

// `port`: TCP/IP to kerv-printer-sim started with `simulator`, COM3: on a pseudo-terminal, USB or
// FILE:; `stop`: STOP half a second after area 1 started; `outcome`: the result, each message
// shown, and the bytes the test saw arrive.
struct FaultCase {
  const char *name, *port;
  std::vector<std::string> simulator;
  std::size_t imageBytes;
  bool stop;
  const char* outcome;
};

class FaultInjection : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjection, EndsWithOneClearOutcome) {
  const FaultCase& c = GetParam();
  const test::TempDir dir;
  const std::string image = dir.Write("FontSet.SHC", test::Garbage(c.imageBytes, 5));
  std::optional<test::SimProcess> sim;
  ASSERT_TRUE(c.simulator.empty() || sim.emplace(c.simulator).Started());
  const std::string outcome = test::RunWithin(60, [&] {
    TransportHost host;
    PortSettings settings{.portName = c.port, .ipAddress = "127.0.0.1", .ipPort = sim ? sim->Port() : 0};
    PortEnvironment env{{}, [](const std::string& address) { return address == "127.0.0.1"; }, {}, {}};
    std::string path = dir.File("area.out");  // what a message names, shown as {path}
    std::function<ssize_t()> arrived;
    std::size_t usbTaken = 0;
    if (c.stop) host.At(kAreaStarts + 500, [&] { host.PressStop(); });
    if (settings.portName == "COM3:") {
      // The test holds the far end of the line, unread, so that area 1 soon waits for it. With
      // STOP the printer sends XOFF once the announcement is written (the line handles it during
      // the pause, before the next open discards what is still unhandled) and never XON;
      // without, the far end goes away during area 1.
      const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      env.devices = {{"COM3", path = ::grantpt(master) == 0 && ::unlockpt(master) == 0 ? ::ptsname(master) : "?"}};
      host.At(c.stop ? 0 : kAreaStarts + 500, [&c, master] {
        if (c.stop ? ::write(master, "\x13", 1) != 1 : ::close(master) != 0) std::abort();
      });
      if (c.stop)
        arrived = [master, held = std::string(65536, 0)]() mutable { return ::read(master, held.data(), 65536); };
    } else if (settings.portName == "USB") {
      env.usbLibrary = [&] { return std::make_unique<XoffBridge>(usbTaken); };
      arrived = [&] { return static_cast<ssize_t>(usbTaken); };
    } else if (settings.portName == "FILE:") {
      host.savePaths = {dir.File("announcement.out"), path};
      const rlimit limit{kLimit, kLimit};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const DownloadResult result = DownloadFontSet({host, settings, env, image, {}});
    // The result's name (in the order DownloadResult declares them), then what the user saw.
    std::string text = std::array{"Completed", "Cancelled", "Failed"}[static_cast<int>(result)];
    for (const auto& message : host.messages) text += " | " + message.text;
    if (!host.progress.destroyed) text += " | the progress window stayed";
    if (host.busyChanges != std::vector<bool>{true, false}) text += " | the busy cursor stayed";
    if (arrived) text += " | " + std::to_string(arrived()) + " bytes arrived";
    for (std::size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), "{path}");
    return text;
  });
  EXPECT_EQ(outcome, c.outcome);
  // The simulator's own record: that it stopped reading during area 1, or cut it off.
  const bool stall = sim && c.simulator.back() == "--stall";
  const long long bytes = sim ? test::EventNumber(sim->Next(stall ? "stalled" : "area_received"), "bytes") : 0;
  EXPECT_TRUE(!sim || (stall ? bytes > 0 && bytes < 0x150000 : bytes == static_cast<long long>(kLimit))) << bytes;
}

const std::vector<std::string> kCloseAfter = {"--port", "0", "--close-after", std::to_string(kLimit)};
const std::vector<std::string> kStall = {"--port", "0", "--stall"};
const char* const kPrinterClosed = "Failed | TCP/IP - The printer closed the connection.\nThe transfer was stopped.";
const char* const kLineGone = "Failed | Error writing to the device {path}:\nInput/output error";
const char* const kDiskFull = "Failed | Error writing output file {path}:\nFile too large";

// A printer that closes the connection half-way through an area so small that by then most of it
// already waits in the socket buffers, so that the loss shows only when the port closes (a close
// while the sender still writes is the port's own test).
INSTANTIATE_TEST_SUITE_P(
    Download, FaultInjection,
    testing::Values(FaultCase{"PrinterClosesWithTheAreaBuffered", "TCP/IP", kCloseAfter, 200000, false, kPrinterClosed},
                    FaultCase{"PrinterStopsReadingThenStop", "TCP/IP", kStall, 0x200000, true, "Cancelled"},
                    FaultCase{"SerialLineHangsUp", "COM3:", {}, 0x200000, false, kLineGone},
                    FaultCase{"SerialLineInXoffThenStop", "COM3:", {}, 0x200000, true, "Cancelled | 12 bytes arrived"},
                    FaultCase{"UsbInXoffThenStop", "USB", {}, 0x200000, true, "Cancelled | 100364 bytes arrived"},
                    FaultCase{"DiskFillsDuringTheArea", "FILE:", {}, 0x200000, false, kDiskFull}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvelle
