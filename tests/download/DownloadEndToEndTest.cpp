// SPDX-License-Identifier: MIT
// End to end: downloads to the substitute printer (kerv-printer-sim) over TCP on 127.0.0.1, over
// USB (the real libftdi1 and the stand-in libusb) and on serial lines (pseudo-terminals), and
// corvelle-cli run as the built program: exit statuses, what reaches the printers, the messages,
// the history; STOP and the termination signals in every wait; the ports a command accepts; one
// image per run; several printers, an inventory's sites and rows, retries, a printer held by
// another run. The tests marked REAL TIME wait out the printer's real pauses (about 22 s a run).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "base/History.h"
#include "base/Paths.h"
#include "base/PrinterLock.h"
#include "base/Sha256.h"
#include "catalogue/SelectionProfile.h"
#include "catalogue/SettingsFile.h"
#include "cli/CliKit.h"
#include "download/Download.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortKit.h"
#include "support/FakeHost.h"
#include "support/Loopback.h"
#include "support/LoopbackPrinter.h"
#include "support/Unprivileged.h"
#include "tools/SimProcess.h"
#include "tools/UsbStandin.h"

namespace corvelle {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;
using test::ClosedLoopbackPort;
using test::ReadFile;

std::string Target(int port) { return "127.0.0.1:" + std::to_string(port); }

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}
std::vector<std::string> Download(const std::vector<std::string>& args) { return With({"download"}, args); }
const std::vector<std::string> kSetCom = {"set-com", "--speed", "0", "--parity", "0", "--data-bits", "1",
                                          "--stop-bits", "0"};

// Each target's records in `kit`'s history, each as `shown` writes it followed by ";".
std::map<std::string, std::string> Recorded(const test::CliKit& kit,
                                            const std::function<std::string(const DownloadRecord&)>& shown) {
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(kit.HistoryPath()).records) recorded[record.target] += shown(record) + ";";
  return recorded;
}
std::string Result(const DownloadRecord& record) { return record.result; }
// Every record of the history at `path` as "result message;".
std::string Ends(const std::string& path) {
  std::string ends;
  for (const DownloadRecord& record : ReadHistory(path).records) ends += record.result + " " + record.message + ";";
  return ends;
}

// The images a printer put together ("1234 consistent") and the bytes of every connection it saw
// closed; `printer` 0 takes every printer of the simulator.
struct Received {
  std::vector<std::string> images;
  std::vector<long long> connections;
};
Received ReceivedBy(const std::vector<QJsonObject>& events, int printer = 0) {
  Received received;
  for (const QJsonObject& event : events) {
    if (printer != 0 && event.value("printer").toInt() != printer) continue;
    if (event.value("event") == "image") {
      received.images.push_back(std::to_string(event.value("bytes").toInteger()) + " " +
                                event.value("verdict").toString().toStdString());
    }
    if (event.value("event") == "connection_closed") received.connections.push_back(event.value("bytes").toInteger());
  }
  return received;
}

// Where the surroundings put the image built, and whether there is one.
class DownloadEndToEnd : public test::CliTest {
 protected:
  std::string Image() const { return ReadFile(DefaultFontSetPath(program)); }
  bool NothingBuilt() const { return !test::FileExists(DefaultFontSetPath(program)); }
  // The simulator judged the built image consistent, as it does only for areas of their announced
  // lengths with the first no longer than 0x150000, and stored exactly it.
  void ExpectReceived(test::SimProcess& sim, const std::string& imagePath) {
    const auto judged = sim.Next("image");
    EXPECT_EQ(test::EventText(judged, "verdict"), "consistent") << test::EventText(judged, "problem");
    EXPECT_TRUE(ReadFile(dir.File("store/image-001.bin")) == ReadFile(imagePath));
  }
  // A build and download with the fake clock (and a little real time for the far end).
  DownloadResult BuildAndDownloadTo(test::FakeHost& host, const PortSettings& settings, PortEnvironment env = {}) {
    host.realSleepMs = 50;
    return BuildAndDownload({host, profile, program, settings, std::move(env), false, {}});
  }
  // A run of `args` ends with `exit` and the error output `err`, or (not `whole`) one holding it.
  void Expect(const std::vector<std::string>& args, int exit, const std::string& err, bool whole = true) {
    EXPECT_EQ(Run(args), exit) << run.err;
    EXPECT_TRUE(whole ? run.err == err : run.err.find(err) != std::string::npos) << "not " << err << " in:\n" << run.err;
  }
  // What the simulator's printer `number` (of several) stored as its first image.
  std::string Stored(int number) const {
    return ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin"));
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
  const sockaddr_in to{AF_INET, htons(static_cast<std::uint16_t>(sim.Port())), {htonl(INADDR_LOOPBACK)}, {}};
  std::deque<test::LoopbackPort> flood;
  for (int i = 0; i < 1000; ++i) {
    const test::LoopbackPort& from = flood.emplace_back(-1, 0x7F000002);
    ASSERT_TRUE(from.port && ::connect(from.fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        << "connection " << i << ": " << std::strerror(errno);
    // Read the log as it comes, so the simulator never waits on its pipe.
    ASSERT_TRUE(sim.Next("connection_opened"));
  }
  // Only the simulator's address passes the reachability test, so nothing else is contacted.
  PortEnvironment loopback;
  loopback.reachable = [](const std::string& host) { return host == "127.0.0.1"; };
  test::FakeHost host;
  ASSERT_EQ(BuildAndDownloadTo(host, {.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = sim.Port()}, loopback),
            DownloadResult::Completed);
  ExpectReceived(sim, DefaultFontSetPath(program));
  int floodClosed = 0;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") != "connection_closed") continue;
    const bool fromFlood = event.value("peer").toString().startsWith("127.0.0.2:");
    EXPECT_TRUE(fromFlood || event.value("reason") == "peer closed") << "the download's connections end themselves";
    if (fromFlood && event.value("reason") == "too many connections waiting") ++floodClosed;
  }
  EXPECT_EQ(floodClosed, 1000 - 16);
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
  EXPECT_TRUE(test::Shown(host).empty() && host.saveRequests.empty() && NothingBuilt()) << "nothing shown, asked for or built";
  EXPECT_EQ(Ends(history.Path()), "stopped Download stopped.;");
}

TEST_F(DownloadEndToEnd, AUsbBridgePulledOutMidAreaFailsWithOneMessage) {
  SelectFont(1, 100, 300000);
  test::UsbStandin usb(dir.Path());
  ASSERT_TRUE(test::UsbStandin::Loaded()) << test::UsbStandin::Hint();
  test::SimProcess sim({"--usb", usb.Socket(), "--usb-unplug-after", "50000"});
  ASSERT_TRUE(sim.Started());
  test::FakeHost host;
  // The area starts after the 11-s pause; a wait for the vanished bridge that never ends is stopped.
  host.At(15'000, [&] { host.PressStop(); });
  EXPECT_EQ(BuildAndDownloadTo(host, {.portName = "USB"}), DownloadResult::Failed);
  EXPECT_EQ(test::Shown(host), "error: USB device write error #02\n0 of 512 bytes were sent.\n");
  EXPECT_EQ(test::EventNumber(sim.Next("usb_unplugged"), "bytes"), 50000);
  const auto judged = sim.Next("image");
  EXPECT_EQ(test::EventText(judged, "verdict") + " " + std::to_string(test::EventNumber(judged, "bytes")), "inconsistent 50000");
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
  Expect({"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"}, 0, Line(IDS_WAIT_AUTORESTART));
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

TEST_F(DownloadEndToEnd, CliFailuresExitWithTheirStatusAndMessage) {
  profile.WriteString(kDevicesSection, "COM1", dir.File("no-such-tty"));
  Expect({"set-com", "--speed", "2", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"}, 1,
         Line(IDS_DEVICE_NOT_OPEN) + dir.File("no-such-tty") + ": No such file or directory\n");
  const std::string first = dir.File("first.out"), out = dir.File("command.out");
  Expect({"download", "--port", "FILE", "--output", first}, 1, Line(IDS_NO_FONTS_SELECTED));
  EXPECT_FALSE(test::FileExists(first));

  SelectFont(1, 100, 1000);
  // A stored unknown name is no usage error, and it stays in the profile; set-com needs --output
  // for the FILE port.
  profile.WriteString(kPortSection, "Port", "NOPE");
  for (const std::vector<std::string>& command : {std::vector<std::string>{"download"}, kSetCom}) {
    Expect(command, 1, "Unknown port \"NOPE\"", false);
  }
  EXPECT_TRUE(NothingBuilt());
  EXPECT_NE(ReadFile(profile.Path()).find("Port=NOPE"), std::string::npos);
  Expect(With(kSetCom, {"--port", "FILE"}), 1, "The FILE port needs --output FILE: no output file was given.\n");
  Expect(With(kSetCom, {"--port", "FILE", "--output", out}), 0, Line(IDS_WAIT_AUTORESTART));
  EXPECT_EQ(ReadFile(out), "?A7&0,0,1,0\r\n");

  // A FILE download whose outputs run out fails at the open that finds none left, saying why.
  Expect({"download", "--port", "FILE", "--output", first}, 1,
         "\nThe FILE port needs one more --output FILE: each opening writes its own file", false);
  EXPECT_EQ(ReadFile(first), "?Z:&3164\n");
  // The USB bridge is looked for by its description, which no device present carries.
  test::UsbStandin usb(dir.Path());
  usb.Set("SIM", "");
  usb.Set("DESCRIPTION", "Varnesi Bridge GN1");
  Expect({"download", "--port", "USB"}, 1, "USB device opening error #02\n");
}

// Runs the command in a network namespace of its own where loopback is up and ignores echo
// requests: a probe of 127.0.0.1 waits for its whole time-out, and nothing leaves the machine.
const std::vector<std::string> kSilentNetwork = {
    "/usr/bin/env", "unshare", "-n", "sh", "-c",
    "ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all && exec \"$0\" \"$@\""};

// A pseudo-terminal for the program to open by the path of its other side.
struct Pty {
  Pty() {
    EXPECT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    if (master >= 0) slave = ::ptsname(master);
  }
  ~Pty() { ::close(master); }
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  std::string slave;
};

// Ctrl-C, SIGTERM and SIGHUP: every wait ends within a second without spinning, and a serial line
// is always given back, so the next program can open it.
class CliStop : public DownloadEndToEnd {
 protected:
  void SetUp() override { SelectFont(1, 100, 1000); }
  // The run ended as a stop should: at once, with little CPU, the message, status 1, and through
  // a pipe no terminal controls.
  void ExpectStopped(int exit, const char* message = "Download stopped.") {
    EXPECT_EQ(exit, 1) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find_first_of("\r\033"), std::string::npos) << run.err;
    EXPECT_TRUE(run.secondsAfterSignal >= 0 && run.secondsAfterSignal < 1.0) << run.secondsAfterSignal;
    EXPECT_LT(run.cpuSeconds, 0.5);
  }
};

TEST_F(CliStop, CtrlCEndsAConnectToAPrinterWhoseListenQueueIsFull) {
  // The TCP/IP kind tests the address with an echo probe first: raw ICMP as root, or datagram
  // ICMP where net.ipv4.ping_group_range allows it.
  if (Run({"ping", "127.0.0.1"}) != 0) GTEST_SKIP() << "no echo answer from 127.0.0.1 for this user";
  // A listen queue of one, filled: the kernel drops every further SYN, so a new connect waits
  // unanswered.
  const test::SilentPort silent;
  const std::string port = std::to_string(silent.listener.port);
  ExpectStopped(Run({"download", "--port", "TCP/IP", "--ip", "127.0.0.1", "--ip-port", port}, test::After(1500)));
}

TEST_F(CliStop, CtrlCEndsTheEchoProbeOfAPrinterThatNeverAnswersAndAPing) {
  if (std::system("unshare -n sh -c 'ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all' "
                  ">/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no network namespace here (needs CAP_SYS_ADMIN)";
  }
  launcher = kSilentNetwork;
  ExpectStopped(Run({"download", "--port", "TCP/IP", "--ip", "127.0.0.1", "--ip-port", "9"}, test::After(800)));
  EXPECT_EQ(run.err.find("not responding"), std::string::npos) << "a stop is no failure: " << run.err;
  ExpectStopped(Run({"ping", "127.0.0.1"}, test::After(800)), "Ping stopped.");
  EXPECT_EQ(run.err.find("No reply"), std::string::npos) << "a stop is no failure: " << run.err;
}

// Ctrl-C ends the open of a FIFO nobody reads as a FILE port's output. Ctrl-C, SIGTERM and SIGHUP
// stop a download to a serial line (a pseudo-terminal named by its path) in its first pause; the
// line's exclusive mode is taken off, so another user opens it at once.
TEST_F(CliStop, CtrlCEndsAFifoNobodyReadsAndTheSignalsGiveTheSerialLineBack) {
  ASSERT_EQ(::mkfifo(dir.File("printer.fifo").c_str(), 0600), 0);
  ExpectStopped(Run({"download", "--port", "FILE", "--output", dir.File("printer.fifo")}, test::After(800)));
  Pty pty;
  ASSERT_EQ(::chmod(pty.slave.c_str(), 0666), 0);
  // The master side reports a hang-up, not input, until the program opens the line.
  const auto announced = [&pty](const test::Finished&) {
    pollfd in{pty.master, POLLIN, 0};
    return ::poll(&in, 1, 0) == 1 && (in.revents & POLLIN);
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    ExpectStopped(Run({"download", "--port", pty.slave}, announced, signal));
    const int line = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = -1;
    EXPECT_TRUE(::ioctl(line, TIOCGEXCL, &exclusive) == 0 && exclusive == 0) << exclusive;
    ::close(line);
    // Root may open an exclusive line; another user may not.
    EXPECT_EQ(test::RunUnprivileged([&] { return ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? 0 : 1; }), 0);
    for (char drained[4096]; ::read(pty.master, drained, sizeof drained) > 0;) continue;
  }
}

using CliPortRules = DownloadEndToEnd;

// set-com on a serial line named by --port (a pseudo-terminal's path), at the stored settings:
// speed position 5 with hardware flow control asked, once with RS-485 on and once off. The line
// keeps its settings after the program, so the test reads them from a second open.
TEST_F(CliPortRules, SetComOpensTheStoredLineAt57600WithoutHardwareFlowWhileRs485IsOn) {
  Pty pty;
  profile.WriteInt(kPortSection, "PortSpeed", 5);
  profile.WriteInt(kPortSection, "PortFlussoHardware", 1);
  for (const int rs485 : {1, 0}) {
    profile.WriteInt(kPortSection, "Rs485On", rs485);
    Expect(With(kSetCom, {"--port", pty.slave}), 0, Line(IDS_WAIT_AUTORESTART));
    char command[64] = {};
    EXPECT_EQ(std::string(command, static_cast<std::size_t>(std::max(0L, ::read(pty.master, command, sizeof command)))),
              "?A7&0,0,1,0\r\n");
    termios line{};
    const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_EQ(::tcgetattr(fd, &line), 0);
    ::close(fd);
    EXPECT_EQ(std::pair(::cfgetospeed(&line), (line.c_cflag & CRTSCTS) != 0), std::pair(static_cast<speed_t>(B57600), rs485 == 0))
        << "RS-485 " << rs485;
  }
}

// One image per run: two downloads from one installation with two profiles each send their own
// image, a rebuild that meets a file-size limit leaves the previous image, and links planted at the
// image and scratch paths are replaced, never followed.
class OneImagePerRun : public ::testing::Test {
 protected:
  // Makes `kit` use the test's installation with a profile of its own selecting one font.
  void Select(test::CliKit& kit, int position, std::size_t dataBytes) {
    kit.program = program;
    Profile profile(kit.profile);
    test::SelectFont(profile, program, position, 100, dataBytes);
    EXPECT_TRUE(profile.Save());
  }

  test::CliKit a, b;
  const std::string program = a.program;
  std::string image = program + "/FontSet.SHC", scratch = program + "/fontheadkerv.sh";
};

TEST_F(OneImagePerRun, TwoDownloadsStartedTwoSecondsApartEachSendTheirOwnImage) {
  Select(a, 1, 5000);
  Select(b, 2, 7000);
  ASSERT_EQ(a.Run({"build", "--output", a.dir.File("a.shc")}).exit, 0);
  ASSERT_EQ(b.Run({"build", "--output", b.dir.File("b.shc")}).exit, 0);
  // Each download asks for a file at each of its two opens: the announcement, then the image.
  const auto download = [](test::CliKit& kit) {
    return std::async(std::launch::async, [&kit] {
      return kit.Run({"download", "--port", "FILE", "--output", kit.dir.File("1"), "--output", kit.dir.File("2")});
    });
  };
  auto first = download(a);
  std::this_thread::sleep_for(seconds(2));
  auto second = download(b);
  EXPECT_EQ(std::pair(first.get().exit, second.get().exit), std::pair(0, 0));
  EXPECT_TRUE(ReadFile(a.dir.File("2")) == ReadFile(a.dir.File("a.shc")) && ReadFile(b.dir.File("2")) == ReadFile(b.dir.File("b.shc")));
  EXPECT_EQ(ReadFile(a.dir.File("1")), "?Z:&" + std::to_string(ReadFile(a.dir.File("a.shc")).size()) + "\n");
}

TEST_F(OneImagePerRun, AFailedRebuildKeepsThePreviousImageAndPlantedLinksAreNotFollowed) {
  Select(a, 1, 3000);
  Select(b, 2, 200000);
  ASSERT_EQ(a.Run({"build"}).exit, 0);
  const std::string previous = ReadFile(image);
  // A file-size limit, as a full disk: the build is not killed (SIGXFSZ at its default) but fails.
  const test::Finished limited = b.Run({"build"}, {}, SIGINT, {"/usr/bin/prlimit", "--fsize=65536:65536", "--"});
  EXPECT_TRUE(limited.exit == 1 && limited.err.starts_with("Error writing output file\n" + image)) << limited.err;
  EXPECT_TRUE(ReadFile(image) == previous);
  // The image, the scratch file and FontExt: no temporary file is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program), std::filesystem::directory_iterator()), 3);

  const std::string victim = a.dir.Write("victim", "another user's file");
  ASSERT_TRUE(::unlink(image.c_str()) == 0 && ::unlink(scratch.c_str()) == 0);
  ASSERT_TRUE(::symlink(victim.c_str(), image.c_str()) == 0 && ::symlink(victim.c_str(), scratch.c_str()) == 0);
  ASSERT_EQ(a.Run({"build"}).exit, 0);
  EXPECT_EQ(ReadFile(victim), "another user's file");
  EXPECT_TRUE(ReadFile(image) == previous && std::filesystem::is_regular_file(std::filesystem::symlink_status(scratch)));
}

// Several printers on 127.0.0.1 in one run.
class FleetDownload : public DownloadEndToEnd {
 protected:
  void SetUp() override {
    // One area of about 300 kB: 11 s after the announcement, 11 s at the end.
    SelectFont(1, 100, 300000);
    profile.WriteString(kPortSection, "Port", "TCP/IP");
  }
  // A download to every printer of `sim`, and the result lines of one that ends them all alike.
  static std::vector<std::string> ToAll(const test::SimProcess& sim, std::vector<std::string> args = {}) {
    for (const int port : sim.Ports()) args.insert(args.end(), {"--ip", Target(port)});
    return Download(args);
  }
  static std::string Each(const test::SimProcess& sim, const std::string& result) {
    std::string lines;
    for (const int port : sim.Ports()) lines += Target(port) + "\t" + result + "\n";
    return lines;
  }
};

TEST_F(FleetDownload, CtrlCStopsThePrintersRunningAndThoseWaitingTheirTurnAtOnce) {
  test::SimProcess sim({"--printers", "4", "--port", "0"});
  ASSERT_TRUE(sim.Started());
  // Ctrl-C once both printers served have been announced to: they are in their 11-s pause.
  int announced = 0;
  EXPECT_EQ(Run(ToAll(sim, {"--jobs", "2"}), [&](const test::Finished&) {
              while (announced < 2 && sim.Next("announcement", 1)) ++announced;
              return announced == 2;
            }),
            1)
      << run.err;
  EXPECT_LT(run.secondsAfterSignal, 2.0) << "every wait ends on STOP";
  EXPECT_EQ(run.out, Each(sim, "stopped\tDownload stopped."));
  sim.Stop();
  EXPECT_EQ(std::count_if(sim.Events().begin(), sim.Events().end(),
                          [](const QJsonObject& event) { return event.value("event") == "announcement"; }),
            2)
      << "the printers waiting their turn were never started";
  // Every printer has its one record, those that never started too.
  const auto recorded = Recorded(kit, Result);
  for (const int port : sim.Ports()) EXPECT_EQ(recorded.at(Target(port)), "stopped;") << port;
}

// REAL TIME: three rounds of one-area downloads, about 70 s.
TEST_F(FleetDownload, MorePrintersThanTheDescriptorLimitAllowsAtOnceAreAllServed) {
  constexpr int kPrinters = 48;
  test::SimProcess sim({"--printers", std::to_string(kPrinters), "--port", "0", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  // 80 descriptors, soft and hard: fewer than 32 printers may need at once.
  launcher = {"/usr/bin/prlimit", "--nofile=80:80", "--"};
  EXPECT_EQ(Run(ToAll(sim)), 0) << run.err;
  EXPECT_EQ(run.out, Each(sim, "ok\t"));
  // Every printer given is asked for at once, the limit holds that to fewer: said once, with
  // the rounds that makes and the limit as what raises it.
  for (const std::string said : {" printers at a time, not 48: the open-file limit allows no more\n",
                                 "corvelle-cli: 48 printers in ", "; a higher open-file limit (ulimit -n) serves more at once\n"}) {
    EXPECT_NE(run.err.find(said), std::string::npos) << said << run.err;
  }
  for (const std::string once : {"printers at a time", " printers in "}) EXPECT_EQ(run.err.find(once), run.err.rfind(once));
  const auto recorded = Recorded(kit, Result);
  for (const int port : sim.Ports()) EXPECT_EQ(recorded.at(Target(port)), "ok;") << port;
  for (int number = 1; number <= kPrinters; ++number) EXPECT_TRUE(Stored(number) == Image()) << number;
}

// Descriptor limits that leave a run room for its image and little more: whatever then cannot be
// opened (the image copy, the printer's lock, the echo test's socket, the connection, the history)
// fails its printer saying so, never blaming the printer. A limit that lets one through takes
// about 22 s.
TEST_F(FleetDownload, PrintersThatFindNoDescriptorLeftSayTooManyOpenFiles) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer's runtime takes descriptors of its own: the limits miss the points tested";
#endif
  test::SimProcess sim({"--printers", "2", "--port", "0"});
  ASSERT_TRUE(sim.Started());
  bool socketShort = false;
  // From a limit just above the one the font set's build needs (one descriptor inherited more or
  // less moves every step).
  for (int limit = 7; limit <= 10; ++limit) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    launcher = {"/usr/bin/prlimit", "--nofile=" + std::to_string(limit) + ":" + std::to_string(limit), "--"};
    const int status = Run(ToAll(sim));
    std::string err = run.err;
    std::transform(err.begin(), err.end(), err.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(status, run.out.find("\tfailed\t") == std::string::npos ? 0 : 1) << run.out;
    for (const char* blamed : {"not responding", "host not found"}) EXPECT_EQ(err.find(blamed), std::string::npos) << err;
    for (const int port : sim.Ports()) {
      // A printer that failed has one of its own lines give the reason.
      const std::regex told(std::regex_replace(Target(port), std::regex("\\."), "\\.") + ": [^\n]*too many open files");
      EXPECT_TRUE(run.out.find(Target(port) + "\tfailed\t") == std::string::npos || std::regex_search(err, told)) << err;
    }
    socketShort |= err.find("socket for 127.0.0.1: too many open files") != std::string::npos;
  }
  EXPECT_TRUE(socketShort) << "no limit left the echo test without its socket";
}

TEST_F(FleetDownload, ControlBytesInTargetsAndTheirMessagesReachNoOutputRaw) {
  // In a network of its own with no link up: the name is looked up nowhere, nothing answers.
  if (std::system("unshare -n true") != 0) GTEST_SKIP() << "no network namespace can be made here";
  launcher = {"/usr/bin/unshare", "-n"};
  EXPECT_EQ(Run(Download({"--ip", "127.0.0.1:1", "--ip", "bad\x1b[2Jname\x07:9"})), 1);
  EXPECT_EQ(test::RawControl(run.out) + test::RawControl(run.err), "") << run.out << run.err;
  const std::string shown = "bad\\x1b[2Jname\\x07:9";
  EXPECT_TRUE(run.out.find("\n" + shown + "\tfailed\t") != std::string::npos && run.err.find(shown + ": ") != std::string::npos)
      << run.out << run.err;
}

TEST_F(FleetDownload, AnImageThatIsNotBuiltIsRecordedForEveryTarget) {
  // No fragment of the selected font is there: nothing to build.
  ::unlink((FontExtFolder(program) + "f10.hea").c_str());
  ::unlink((FontExtFolder(program) + "f10.sh").c_str());
  const std::vector<int> ports = {ClosedLoopbackPort(), ClosedLoopbackPort() + 1};
  EXPECT_EQ(Run(Download({"--ip", Target(ports[0]), "--ip", Target(ports[1])})), 1);
  const auto recorded = Recorded(kit, [](const DownloadRecord& r) { return r.result + ":" + r.image + ":" + std::to_string(r.bytes); });
  std::string expected;
  for (const int port : ports) {
    expected += Target(port) + "\tfailed\tThe font set image was not built.\n";
    EXPECT_EQ(recorded.at(Target(port)), "failed:FontSet.SHC:0;") << port;
  }
  EXPECT_EQ(run.out, expected);
}

// A site's printers served as a technician serves them: an inventory of sites, rows and
// selections, a printer that refuses, a cause never tried again, STOP in a wait, a run of only the
// failures.
std::string Labels(const DownloadRecord& r) { return r.result + " " + r.name + " " + r.site + " " + r.selection; }

class SiteRun : public DownloadEndToEnd {
 protected:
  void SetUp() override { profile.WriteString(kPortSection, "Port", "TCP/IP"); }
  // The selection of one font at `position` as a .kvf in the inventory's folder, and the image it
  // builds; the position is free again afterwards.
  std::string SaveSelection(const std::string& name, int position, std::size_t headerBytes, std::size_t dataBytes) {
    SelectFont(position, headerBytes, dataBytes);
    EXPECT_EQ(Run({"build", "--output", dir.File(name + ".shc")}), 0) << run.err;
    const std::string kvf = dir.Write("site/" + name + ".kvf", SerializeSettings(LoadSelectionFromProfile(profile)));
    profile.WriteString("FontsAggiuntivi", "Font00" + std::to_string(position), "");  // positions 1 to 9
    return kvf;
  }
  std::vector<DownloadRecord> Records() const { return ReadHistory(kit.HistoryPath()).records; }
};

// REAL TIME, five runs.
TEST_F(SiteRun, TwoSitesThreeSelectionsPickedByRowAndTheFailuresRunAgain) {
  const std::string a = SaveSelection("a", 1, 100, 200000), b = SaveSelection("b", 2, 90, 150000);
  SelectFont(3, 80, 100000);
  ASSERT_EQ(Run({"build", "--output", dir.File("stored.shc")}), 0) << run.err;
  const std::string storedFont = profile.GetString("FontsAggiuntivi", "Font003", "");

  test::SimProcess sim({"--printers", "4", "--port", "0", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  const std::vector<int>& ports = sim.Ports();
  const int dead = ClosedLoopbackPort();
  const std::string inventory = dir.Write(
      "site/inv.csv", "Name,Site,Address,Selection,Notes\r\n"
                      "n1,Nord," + Target(ports[0]) + ",a.kvf,\"first, by the door\"\r\n"
                      "n2,Nord,127.1:" + std::to_string(ports[1]) + ",a.kvf,\r\n"
                      "s1,Sud," + Target(ports[2]) + "," + b + ",\r\n"
                      "s2,Sud," + Target(ports[3]) + ",,\r\n"
                      ",,,,\r\n"
                      "w1,West," + Target(dead) + ",a.kvf,\r\n");

  // Picking: only the western row, which refuses.
  EXPECT_EQ(Run(Download({"--inventory", inventory, "--site", "W*"})), 1) << run.err;
  const std::string west = run.out;
  EXPECT_EQ(west.rfind(Target(dead) + "\tfailed\t", 0), 0u) << west;
  EXPECT_TRUE(west.ends_with("\tw1\tWest\n")) << west;

  // Every row: each printer gets its own group's image, byte for byte.
  EXPECT_EQ(Run(Download({"--inventory", inventory})), 1) << run.err;
  EXPECT_EQ(run.out, Target(ports[0]) + "\tok\t\tn1\tNord\n" + "127.1:" + std::to_string(ports[1]) +
                         "\tok\t\tn2\tNord\n" + Target(ports[2]) + "\tok\t\ts1\tSud\n" + Target(ports[3]) +
                         "\tok\t\ts2\tSud\n" + west);
  const std::string all = dir.Write("all.out", run.out);
  sim.Stop();
  const std::string expected[] = {ReadFile(dir.File("a.shc")), ReadFile(dir.File("a.shc")), ReadFile(dir.File("b.shc")),
                                  ReadFile(dir.File("stored.shc"))};
  ASSERT_TRUE(expected[0] != expected[2] && expected[2] != expected[3]);
  for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Stored(n) == expected[n - 1]) << n;
  // The stored selection is as it was.
  const Profile after(profile.Path());
  EXPECT_EQ(after.GetString("FontsAggiuntivi", "Font001", "-") + "|" + after.GetString("FontsAggiuntivi", "Font003", ""),
            "|" + storedFont);
  // The history says which row and which .kvf, by its bytes.
  std::map<std::string, std::string> recorded = Recorded(kit, Labels);
  EXPECT_EQ(recorded[Target(ports[0])] + recorded[Target(ports[2])] + recorded[Target(ports[3])] + recorded[Target(dead)],
            "ok n1 Nord a.kvf;ok s1 Sud b.kvf;ok s2 Sud ;failed w1 West a.kvf;failed w1 West a.kvf;");
  for (const DownloadRecord& r : Records()) EXPECT_TRUE(r.name != "n2" || r.selectionSha256 == Sha256Hex(ReadFile(a)));

  // The run's failures again, from its result lines: only the western printer, with its .kvf.
  test::SimProcess westSim({"--port", std::to_string(dead), "--store", dir.File("west")});
  ASSERT_TRUE(westSim.Started());
  EXPECT_EQ(Run(Download({"--inventory", inventory, "--ip-list", all, "--only-failed"})), 0) << run.err;
  EXPECT_EQ(run.out, Target(dead) + "\tok\t\tw1\tWest\n");
  westSim.Stop();
  EXPECT_TRUE(ReadFile(dir.File("west/image-001.bin")) == expected[0]);
  // Nothing failed in that run: nothing to do.
  Expect(Download({"--ip-list", dir.Write("again.out", run.out), "--only-failed"}), 0, "nothing to download again", false);
  EXPECT_EQ(run.out, "");
  // Rows that all have a selection of their own never build the stored one, empty now.
  profile.WriteString("FontsAggiuntivi", "Font003", "");
  EXPECT_EQ(Run(Download({"--inventory", dir.Write("site/own.csv", "name,address,selection\nx," + Target(dead) + ",a.kvf\n")})), 1);
  EXPECT_EQ(run.out.rfind(Target(dead) + "\tfailed\t", 0), 0u) << run.out;
  EXPECT_EQ(run.err.find(LoadStr(IDS_NO_FONTS_SELECTED)), std::string::npos) << run.err;
}

TEST_F(SiteRun, ABusyPrinterIsNeverTriedAgainAndStopEndsAWaitAtOnce) {
  SelectFont(1, 100, 1000);
  const int busy = ClosedLoopbackPort(), refusing = busy + 1;
  std::optional<PrinterLock> held{std::in_place, Target(busy)};
  ASSERT_EQ(held->GetState(), PrinterLock::State::Held);
  EXPECT_EQ(Run(Download({"--ip", Target(busy), "--ip", Target(refusing), "--retry", "3", "--retry-wait", "0.1"})), 1)
      << run.err;
  EXPECT_EQ(run.out.rfind(Target(busy) + "\tfailed\t" + Target(busy) + " is busy: ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n" + Target(refusing) + "\tfailed (attempt 4 of 4)\t"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(Target(refusing) + ": trying again in 1 s (attempt 2 of 4)"), std::string::npos) << run.err;
  EXPECT_EQ(Recorded(kit, Result)[Target(refusing)], "failed;failed;failed;failed;");
  // With --wait the run waits for the holder and goes on once it lets go.
  auto waiting = Start(Download({"--wait", "--ip", Target(busy)}));
  EXPECT_EQ(waiting.wait_for(milliseconds(1500)), std::future_status::timeout) << "still waiting";
  held.reset();
  const test::Finished waited = waiting.get();
  EXPECT_TRUE(waited.err.starts_with(Target(busy) + " is busy: download_end_to_end_tests (process " +
                                     std::to_string(::getpid()) + ") is downloading to it. Waiting for it to finish...\n"))
      << waited.err;
  EXPECT_EQ(Recorded(kit, Result)[Target(busy)], "failed;failed;") << "never tried again, then once when free";

  // SIGTERM in a minute's wait, 200 ms after the first attempt is recorded, ends it at once, the
  // printer stopped.
  const std::size_t before = Records().size();
  std::optional<steady_clock::time_point> attempted;
  const auto inTheWait = [&](const test::Finished&) {
    if (!attempted && Records().size() > before) attempted = steady_clock::now();
    return attempted && steady_clock::now() - *attempted > milliseconds(200);
  };
  EXPECT_EQ(Run(Download({"--ip", Target(refusing), "--retry", "2", "--retry-wait", "60"}), inTheWait, SIGTERM), 1)
      << run.err;
  EXPECT_LT(run.secondsAfterSignal, 2.0) << run.err;
  EXPECT_EQ(run.out, Target(refusing) + "\tstopped\tDownload stopped.\n");
  EXPECT_EQ(Records().size(), before + 1) << "one attempt was made";
}

// The printer a command line names is the printer served: --ip means TCP/IP whatever port is
// stored, every spelling of one printer is served once, and the results come in the order given.
class NamedPrinter : public DownloadEndToEnd {
 protected:
  void SetUp() override {
    SelectFont(1, 100, 1000);
    // What a fresh profile stores: the first serial line, here a printer of its own.
    profile.WriteString(kPortSection, "Port", "COM1:");
    profile.WriteString(kDevicesSection, "COM1", serial.PtyPath());
  }
  test::SimProcess serial{{"--pty"}};
};

// The usage errors of download and set-com: status 2, saying why, before anything is built, sent
// or recorded; a FILE port without a file fails and says so.
TEST_F(NamedPrinter, UsageErrorsAndAFilePortWithoutAFileSayWhyAndContactNothing) {
  ASSERT_TRUE(serial.Started());
  const std::string empty = dir.Write("empty", "# none yet\n\n");
  const std::string list = dir.Write("list", "10.0.0.1\n# fine\n10.0.0.2:70000\n");
  // An inventory whose bad row is named by file and line, and one that is fine.
  const int port = ClosedLoopbackPort();
  const auto inventory = [&](const char* name, const std::string& rows) {
    return dir.Write(std::string("site/") + name, "name,address,selection\n" + rows);
  };
  const std::string noAddress = inventory("1.csv", "x," + Target(port) + ",\n\ny,,\n");
  const std::string good = inventory("2.csv", "x," + Target(port) + ",\n");
  std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
      {{"extra"}, ""},
      {{"--ip", "10.0.0.1", "--port", "COM1:"}, "--port COM1:"},
      {{"--ip-list", empty, "--port", "FILE"}, "--port FILE"},
      {{"--ip", "10.0.0.1:9100", "--output", dir.File("x")}, "--output"},
      {{"--ip-list", empty}, empty},
      {{"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--jobs", "1025"}, ""},
      {{"--ip-list", list}, list + ":3: "},
      {{"--ip", "10.0.0.2", "--ip-list", dir.File("missing")}, dir.File("missing")},
      {{"--inventory", noAddress, "--retry", "3"}, "corvelle-cli: " + noAddress + ":4: the row has no address"},
      {{"--site", "Nord"}, ""},
      {{"--inventory", good, "--site", "Nord", "--name", "x?"}, "has no enabled printer that --site and --name pick"},
      {{"--inventory", good, "--retry", "11"}, ""},
      {{"--inventory", good, "--retry-wait", "601"}, ""},
      {{"--inventory", good, "--retry-wait", "-1"}, ""},
      {{"--retry", "1"}, ""},
      {{"--inventory", good, "--only-failed"}, ""},
      {{"--inventory", good, "--ip", "127.0.0.2:1"}, ""},
  };
  // Unknown port names, to download and to set-com.
  for (const std::string name : {"tcp/ip", "NOPE", "COM0:", "COMX"}) {
    usage.push_back({{"--port", name}, "Unknown port \"" + name + "\""});
    usage.push_back({With(kSetCom, {"--port", name}), "Unknown port \"" + name + "\""});
  }
  for (const auto& [args, says] : usage) {
    SCOPED_TRACE(args.back());
    EXPECT_EQ(Run(args.front() == "set-com" ? args : Download(args)), 2) << run.err;
    EXPECT_TRUE(run.err.find(says) != std::string::npos && run.out.empty()) << run.err;
  }
  EXPECT_TRUE(NothingBuilt());
  EXPECT_EQ(Ends(kit.HistoryPath()), "") << "nothing was tried";
  // A FILE download with nowhere to write fails before anything is built, and says why.
  Expect({"download", "--port", "FILE"}, 1, "The FILE port needs --output FILE: no output file was given.\n");
  EXPECT_TRUE(NothingBuilt());
  EXPECT_EQ(Ends(kit.HistoryPath()), "failed The FILE port needs --output FILE: no output file was given.;");
  serial.Stop();
  EXPECT_TRUE(ReceivedBy(serial.Events()).images.empty());
}

// REAL TIME: eight printers, a closed port and a printer that stalls in one run, with a serial
// printer stored.
TEST_F(NamedPrinter, IsServedOverTcpWhateverIsStoredAndItsSpellingsAreOnePrinter) {
  SelectFont(1, 100, 300000);  // one area: 11 s after the announcement, 11 s at the end
  test::SimProcess eight({"--printers", "8", "--port", "0", "--store", dir.File("store")});
  test::SimProcess stalling({"--port", "0", "--stall"});
  ASSERT_TRUE(serial.Started() && eight.Started() && stalling.Started() && eight.Ports().size() == 8u);
  const std::vector<int>& ports = eight.Ports();
  const std::string first = std::to_string(ports[0]);
  const int dead = ClosedLoopbackPort();
  // Four printers from a list, the first under a spelling of its own, then the dead one and the
  // staller, the other four, and the first again under four more spellings.
  std::string list = "# the first four\n\n  127.1:" + first + "\n";
  for (std::size_t i = 1; i < 4; ++i) list += "  " + Target(ports[i]) + "\n";
  std::vector<std::string> args =
      Download({"--ip-list", dir.Write("printers", list), "--ip", Target(dead), "--ip", Target(stalling.Port())});
  for (std::size_t i = 4; i < 8; ++i) args.insert(args.end(), {"--ip", Target(ports[i])});
  args.insert(args.end(), {"--ip", Target(ports[0]), "--ip", "localhost:" + first, "--ip", "0x7f.0.0.1:" + first,
                           "--ip", "LOCALHOST:" + first, "--jobs", "16"});
  const test::Finished many = Start(args).get();
  EXPECT_EQ(many.exit, 1) << many.err;
  const std::string image = Image();
  ASSERT_GT(image.size(), 300000u);
  // The two connections of one whole one-area download: the announcement's, the image's.
  const std::vector<long long> oneDownload = {static_cast<long long>(("?Z:&" + std::to_string(image.size()) + "\n").size()),
                                              static_cast<long long>(image.size())};

  // Results in the order given, each printer once under the spelling it came first with.
  const std::vector<std::string> lines = test::Lines(many.out);
  ASSERT_EQ(lines.size(), 10u) << many.out;
  EXPECT_EQ(lines[0], "127.1:" + first + "\tok\t");
  for (std::size_t i = 1; i < 8; ++i) EXPECT_EQ(lines[i < 4 ? i : i + 2], Target(ports[i]) + "\tok\t");
  EXPECT_EQ(lines[4].rfind(Target(dead) + "\tfailed\t", 0), 0u) << lines[4];
  EXPECT_GT(lines[4].size(), Target(dead).size() + 8) << "the printer's last message";
  EXPECT_EQ(lines[5].rfind(Target(stalling.Port()) + "\tfailed\t", 0), 0u) << lines[5];

  // Every printer got exactly one single download: its announcement on a connection of its own,
  // the whole image on the next, judged consistent and stored as built; the serial printer nothing.
  eight.Stop();
  serial.Stop();
  for (int number = 1; number <= 8; ++number) {
    SCOPED_TRACE(number);
    EXPECT_EQ(ReceivedBy(eight.Events(), number).images, std::vector{std::to_string(image.size()) + " consistent"});
    EXPECT_EQ(ReceivedBy(eight.Events(), number).connections, oneDownload);
    EXPECT_TRUE(Stored(number) == image);
  }
  EXPECT_TRUE(ReceivedBy(serial.Events()).connections.empty());

  // Every printer's attempt is in the history, with the digest of the bytes it was sent: the whole
  // image, or (the stalling printer) the part of it sent before the transfer failed.
  const auto recorded = Recorded(kit, [&image](const DownloadRecord& record) {
    if (record.bytes > 0) {
      EXPECT_EQ(record.sha256, Sha256Hex(std::string_view(image).substr(0, static_cast<std::size_t>(record.bytes))))
          << record.target << ", " << record.bytes << " bytes";
    }
    return record.result + (record.bytes == static_cast<long long>(image.size()) ? " whole" : "");
  });
  EXPECT_EQ(recorded.size(), 10u);
  for (const int port : ports) EXPECT_EQ(recorded.at(Target(port)), "ok whole;");
  EXPECT_TRUE(recorded.at(Target(dead)) == "failed;" && recorded.at(Target(stalling.Port())).starts_with("failed"));
}

// The same printer that is not there three times, once through the stored port, is one target:
// the single download, failing as it does today, even with a serial printer stored.
TEST_F(NamedPrinter, ARepeatedTargetIsOneDownload) {
  const int closed = ClosedLoopbackPort();
  profile.WriteInt(kPortSection, "IPport", closed);
  EXPECT_EQ(Run(Download({"--ip", Target(closed), "--ip", "127.0.0.1", "--ip", Target(closed), "--jobs", "256"})), 1);
  EXPECT_TRUE(run.out.empty() && !run.err.empty()) << run.out;
  EXPECT_TRUE(run.err.find(Target(closed) + ": ") == std::string::npos && run.err.find(LoadStr(IDS_FONTS_STORED)) == std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace corvelle
