// SPDX-License-Identifier: MIT
// End to end: downloads to the substitute printer over TCP on 127.0.0.1 and over USB (the real
// libftdi1 and the stand-in libusb) with the fake clock, judged consistent and stored exactly, and
// a USB bridge pulled out mid-area; and corvelle-cli download and set-com run as the built program,
// to the substitute printer on a serial line (a pseudo-terminal reached through the "Devices"
// mapping), to a missing USB bridge and to files: exit statuses, what reaches the device, the
// messages on stderr. One test runs with real time (22 s of pauses) to measure the CPU the process
// uses meanwhile.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "base/History.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/UniqueFd.h"
#include "cli/CliKit.h"
#include "download/Download.h"
#include "fontset/FontSetBuilder.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "resources/Strings.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"
#include "tools/UsbStandin.h"

namespace corvelle {
namespace {

using test::ReadFile;

class DownloadEndToEnd : public test::CliTest {
 protected:
  // The simulator judged the built image consistent, as it does only for areas of their announced
  // lengths with the first no longer than 0x150000, and stored exactly it.
  void ExpectReceived(test::SimProcess& sim, const std::string& imagePath) {
    const auto judged = sim.Next("image");
    EXPECT_EQ(test::EventText(judged, "verdict"), "consistent") << test::EventText(judged, "problem");
    EXPECT_TRUE(ReadFile(dir.File("store/image-001.bin")) == ReadFile(imagePath));
  }
  // Builds the selection and downloads it to the simulator on 127.0.0.1, which must receive it
  // whole. Only the simulator's address passes the reachability test, so nothing else is contacted.
  void DownloadOverTcp(test::SimProcess& sim) {
    PortEnvironment loopback;
    loopback.reachable = [](const std::string& host) { return host == "127.0.0.1"; };
    const PortSettings tcp{.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = sim.Port()};
    test::FakeHost host;
    host.realSleepMs = 50;
    ASSERT_EQ(BuildAndDownload({host, profile, program, tcp, loopback, false, {}}), DownloadResult::Completed);
    ExpectReceived(sim, DefaultFontSetPath(program));
  }
};

// A thousand connections from 127.0.0.2 that never send: the download from 127.0.0.1 of the
// builder's two-area image (the second section would cross the area boundary, so the builder
// moves it there) is served whole beside them, and the flood keeps no more than 16 of them open at
// the printer.
TEST_F(DownloadEndToEnd, AFloodOfSilentConnectionsFromOnePeerHoldsUpNoOther) {
  SelectFont(1, 300, 0x100000);
  SelectFont(2, 200, 0x60000);
  rlimit files{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
  files.rlim_cur = files.rlim_max;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
  ASSERT_GE(files.rlim_cur, 1100u) << "a thousand sockets and the test's own descriptors";
  test::SimProcess sim({"--port", "0", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  const sockaddr_in from{AF_INET, 0, {htonl(0x7F000002)}, {}};
  const sockaddr_in to{AF_INET, htons(static_cast<std::uint16_t>(sim.Port())), {htonl(INADDR_LOOPBACK)}, {}};
  std::vector<UniqueFd> flood;
  for (int i = 0; i < 1000; ++i) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(fd.Valid() && ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) == 0 &&
                ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        << "connection " << i << ": " << std::strerror(errno);
    // Read the log as it comes, so the simulator never waits on its pipe.
    ASSERT_TRUE(sim.Next("connection_opened"));
    flood.push_back(std::move(fd));
  }
  DownloadOverTcp(sim);
  int floodClosed = 0;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") != "connection_closed") continue;
    const bool fromFlood = event.value("peer").toString().startsWith("127.0.0.2:");
    EXPECT_TRUE(fromFlood || event.value("reason") == "peer closed") << "the download's connections end themselves";
    if (fromFlood && event.value("reason") == "too many connections waiting") ++floodClosed;
  }
  EXPECT_EQ(floodClosed, 1000 - 16);
}

// The waits of a download, one a line: fake time when it began, length, mode.
std::string Waits(const test::FakeHost& host) {
  std::string text;
  for (const auto& w : host.waits) {
    text += std::to_string(w.at) + " " + std::to_string(w.ms) + (w.mode == WaitMode::Responsive ? "\n" : " paint\n");
  }
  return text;
}

TEST_F(DownloadEndToEnd, TheBuildersTwoAreaImageOverUsbWithThePausesOfEveryOtherKind) {
  SelectFont(1, 300, 0x100000);
  SelectFont(2, 200, 0x60000);
  test::UsbStandin usb(dir.Path());
  ASSERT_TRUE(test::UsbStandin::Loaded()) << test::UsbStandin::Hint();
  test::SimProcess sim({"--usb", usb.Socket(), "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  test::FakeHost host;
  host.realSleepMs = 50;
  ASSERT_EQ(BuildAndDownload({host, profile, program, {.portName = "USB"}, {}, false, {}}), DownloadResult::Completed)
      << test::Shown(host);
  ExpectReceived(sim, DefaultFontSetPath(program));
  const std::int64_t total = static_cast<std::int64_t>(ReadFile(DefaultFontSetPath(program)).size());
  std::vector<std::int64_t> announced;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") == "announcement") announced.push_back(event.value("length").toInteger());
  }
  EXPECT_EQ(announced, (std::vector<std::int64_t>{0x150000, total - 0x150000}));

  test::FakeHost fileHost;
  fileHost.realSleepMs = 50;
  for (const char* name : {"1.out", "2.out", "3.out", "4.out"}) fileHost.savePaths.push_back(dir.File(name));
  ASSERT_EQ(BuildAndDownload({fileHost, profile, program, {.portName = "FILE"}, {}, false, {}}),
            DownloadResult::Completed);
  EXPECT_EQ(ReadFile(dir.File("3.out")), "?Z;&" + std::to_string(total - 0x150000) + "\n");
  EXPECT_EQ(Waits(host), Waits(fileHost));
  EXPECT_EQ(test::Shown(host), test::Shown(fileHost));
}

// The host's STOP (Ctrl-C in a terminal) ends the build: nothing is written or sent, and the
// attempt is recorded as stopped.
TEST_F(DownloadEndToEnd, TheHostsStopEndsTheBuildAndTheAttemptIsRecorded) {
  SelectFont(1, 100, 1000);
  test::FakeHost host;
  StopSignal stop;
  stop.Raise();
  host.stop = &stop;
  DownloadHistory history("corvelle", dir.File("state/downloads.jsonl"));
  DownloadJob job{host, profile, program, {.portName = "FILE"}, {}, false, {}};
  job.history = &history;
  EXPECT_EQ(BuildAndDownload(job), DownloadResult::Cancelled);
  EXPECT_EQ(test::Shown(host), "");
  EXPECT_TRUE(host.saveRequests.empty()) << "no output file was asked for";
  EXPECT_FALSE(std::filesystem::exists(DefaultFontSetPath(program)));
  const std::vector<DownloadRecord> records = ReadHistory(history.Path()).records;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(std::tie(records[0].result, records[0].message), std::tie("stopped", "Download stopped."));
}

TEST_F(DownloadEndToEnd, AUsbBridgePulledOutMidAreaFailsWithOneMessage) {
  SelectFont(1, 100, 300000);
  test::UsbStandin usb(dir.Path());
  ASSERT_TRUE(test::UsbStandin::Loaded()) << test::UsbStandin::Hint();
  test::SimProcess sim({"--usb", usb.Socket(), "--usb-unplug-after", "50000"});
  ASSERT_TRUE(sim.Started());
  test::FakeHost host;
  host.realSleepMs = 50;
  // The area starts after the 11-s pause; a wait for the vanished bridge that never ends is stopped.
  host.At(15'000, [&] { host.PressStop(); });
  EXPECT_EQ(BuildAndDownload({host, profile, program, {.portName = "USB"}, {}, false, {}}), DownloadResult::Failed);
  EXPECT_EQ(test::Shown(host), "error: USB device write error #02\n0 of 512 bytes were sent.\n");
  EXPECT_TRUE(host.progress.destroyed);
  EXPECT_EQ(host.progress.statuses, std::vector<std::string>{}) << "no closing messages";
  EXPECT_EQ(test::EventNumber(sim.Next("usb_unplugged"), "bytes"), 50000);
  const auto judged = sim.Next("image");
  EXPECT_EQ(test::EventText(judged, "verdict"), "inconsistent");
  EXPECT_EQ(test::EventNumber(judged, "bytes"), 50000);
  // Pulled out, the bridge is no longer there to be found.
  test::FakeHost later;
  CDevicePort port(later, {});
  EXPECT_FALSE(test::Said(later, port.Open(test::Args("USB"))));
  EXPECT_EQ(test::Shown(later), "error: USB device opening error #02\n");
}

// Set COM port, then REAL TIME: a download of about 22 s (the 11-s pause and the 11-s final wait),
// to the simulator on a serial line mapped in Devices. A pause that spins instead of sleeping costs
// a second of CPU within the first second.
TEST_F(DownloadEndToEnd, CliSetComThenRealTimeLegacyDownloadOverASerialLine) {
  test::SimProcess sim({"--pty", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  profile.WriteString(kPortSection, "Port", "COM3:");
  profile.WriteString(kDevicesSection, "COM3", sim.PtyPath());
  SelectFont(1, 100, 300000);
  ASSERT_TRUE(profile.Save());
  const std::string stored = ReadFile(profile.Path());
  EXPECT_EQ(Run({"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"}), 0) << run.err;
  EXPECT_EQ(run.err, Line(IDS_WAIT_AUTORESTART));
  EXPECT_EQ(test::EventText(sim.Next("setup_command"), "raw"), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(ReadFile(profile.Path()), stored);

  ASSERT_EQ(Run({"download", "--legacy"}), 0) << run.err;
  ExpectReceived(sim, DefaultLegacyFontSetPath(program));
  // The messages the window shows, in order, with the steps between them.
  std::size_t at = 0;
  for (const std::string& line :
       {Line(IDS_UPGRADING), std::string("Announcing the image (300356 bytes)\n"), std::string("Waiting 11 s\n"),
        std::string("Sending the image (300356 bytes)\n"), std::string("100%\n"), Line(IDS_END_OF_PROCESS),
        Line(IDS_WAIT_AUTORESTART)}) {
    ASSERT_NE(at = run.err.find(line, at), std::string::npos) << "missing or out of order: " << line << "in:\n" << run.err;
  }
  EXPECT_LT(run.cpuSeconds, 1.0);
}

TEST_F(DownloadEndToEnd, CliFailuresAndCtrlCExitWithTheirStatusAndMessage) {
  profile.WriteString(kDevicesSection, "COM1", dir.File("no-such-tty"));
  EXPECT_EQ(Run({"download", "extra"}), 2);
  EXPECT_EQ(Run({"set-com", "--speed", "2", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"}), 1);
  EXPECT_EQ(run.err, Line(IDS_DEVICE_NOT_OPEN) + dir.File("no-such-tty") + ": No such file or directory\n");
  const std::string first = dir.File("first.out"), second = dir.File("second.out");
  EXPECT_EQ(Run({"download", "--port", "FILE", "--output", first}), 1);
  EXPECT_EQ(run.err, Line(IDS_NO_FONTS_SELECTED));
  EXPECT_FALSE(test::FileExists(first));

  // A FILE download whose outputs run out fails at the open that finds none left, saying why.
  SelectFont(1, 100, 1000);
  EXPECT_EQ(Run({"download", "--port", "FILE", "--output", first}), 1);
  EXPECT_NE(run.err.find("\nThe FILE port needs one more --output FILE: each opening writes its own file"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(first), "?Z:&3164\n");
  ASSERT_EQ(::unlink(first.c_str()), 0);
  // The USB bridge is looked for by its description, which no device present carries.
  {
    test::UsbStandin usb(dir.Path());
    usb.Set("SIM", "");
    usb.Set("DESCRIPTION", "Varnesi Bridge GN1");
    EXPECT_EQ(Run({"download", "--port", "USB"}), 1);
    EXPECT_EQ(run.err, "USB device opening error #02\n");
  }
  // Ctrl-C in the first pause is STOP; through a pipe the progress is plain lines.
  EXPECT_EQ(Run({"download", "--port", "FILE", "--output", first, "--output", second},
                [](const test::Finished& f) { return f.err.find("Waiting 11 s\n") != std::string::npos; }),
            1);
  EXPECT_EQ(run.err.find_first_of("\r\033"), std::string::npos) << run.err;
  EXPECT_TRUE(run.err.ends_with("Waiting 11 s\nDownload stopped.\n")) << run.err;
  EXPECT_FALSE(test::FileExists(second));
}

}  // namespace
}  // namespace corvelle
