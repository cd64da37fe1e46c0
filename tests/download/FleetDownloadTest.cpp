// SPDX-License-Identifier: MIT
// corvelle-cli download to several printers, run as the built program against kerv-printer-sim
// on 127.0.0.1: eight printers, a closed port and a printer that stalls in one run (real pauses,
// about 22 s) beside a single download with today's output; Ctrl-C while printers pause and
// others wait their turn; descriptor limits; a repeated target.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "base/History.h"
#include "cli/CliKit.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortSettings.h"
#include "resources/Strings.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using test::ClosedPort;
using test::ReadFile;

std::string Target(int port) { return "127.0.0.1:" + std::to_string(port); }

// The events of printer `number` of a simulator started with --printers.
std::vector<QJsonObject> OfPrinter(const std::vector<QJsonObject>& events, int number) {
  std::vector<QJsonObject> own;
  for (const QJsonObject& event : events) {
    if (event.value("printer").toInt() == number) own.push_back(event);
  }
  return own;
}

// Each target's records in `kit`'s history, each as `shown` writes it followed by ";".
std::map<std::string, std::string> Recorded(const test::CliKit& kit,
                                            const std::function<std::string(const DownloadRecord&)>& shown) {
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(kit.HistoryPath()).records) recorded[record.target] += shown(record) + ";";
  return recorded;
}
std::string Result(const DownloadRecord& record) { return record.result; }

std::vector<std::string> Download(std::vector<std::string> args) {
  args.insert(args.begin(), "download");
  return args;
}
// A download to every printer of `sim`, and the result lines of one that serves them all.
std::vector<std::string> ToAll(const test::SimProcess& sim, std::vector<std::string> args = {}) {
  for (const int port : sim.Ports()) args.insert(args.end(), {"--ip", Target(port)});
  return Download(args);
}
std::string AllOk(const test::SimProcess& sim) {
  std::string lines;
  for (const int port : sim.Ports()) lines += Target(port) + "\tok\t\n";
  return lines;
}

class FleetDownload : public test::CliTest {
 protected:
  void SetUp() override {
    // One area of about 300 kB: 11 s after the announcement, 11 s at the end.
    SelectFont(1, 100, 300000);
    profile.WriteString(kPortSection, "Port", "TCP/IP");
  }
  // Every printer's store holds the image built.
  void ExpectStored(int printers) {
    const std::string image = ReadFile(DefaultFontSetPath(program));
    for (int number = 1; number <= printers; ++number) {
      EXPECT_TRUE(ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin")) == image) << number;
    }
  }
};

TEST_F(FleetDownload, EightPrintersAClosedPortAndAStallingPrinterBesideASingleDownload) {
  test::SimProcess eight({"--printers", "8", "--port", "0", "--store", dir.File("store")});
  test::SimProcess stalling({"--port", "0", "--stall"});
  test::SimProcess single({"--port", "0", "--store", dir.File("single")});
  ASSERT_TRUE(eight.Started() && stalling.Started() && single.Started());
  ASSERT_EQ(eight.Ports().size(), 8u);
  const std::vector<int>& ports = eight.Ports();
  const int dead = ClosedPort();
  // Four printers from a list, then the dead one and the staller, the other four and a repeat.
  std::string list = "# the first four\n\n";
  for (int i = 0; i < 4; ++i) list += "  " + Target(ports[static_cast<std::size_t>(i)]) + "\n";
  std::vector<std::string> args = Download({"--ip-list", dir.Write("printers", list), "--ip", Target(dead),
                                            "--ip", "127.0.0.1:" + std::to_string(stalling.Port())});
  for (int i = 4; i < 8; ++i) args.insert(args.end(), {"--ip", Target(ports[static_cast<std::size_t>(i)])});
  args.insert(args.end(), {"--ip", Target(ports[0]), "--jobs", "16"});

  auto fleet = Start(args);
  const test::Finished alone = Start(Download({"--ip", Target(single.Port())})).get();
  const test::Finished many = fleet.get();
  EXPECT_EQ(alone.exit, 0) << alone.err;
  EXPECT_EQ(many.exit, 1) << many.err;
  const std::string image = ReadFile(DefaultFontSetPath(program));
  ASSERT_GT(image.size(), 300000u);

  // Results in the order given, the repeat served once.
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = many.out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(many.out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 10u) << many.out;
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(lines[static_cast<std::size_t>(i < 4 ? i : i + 2)], Target(ports[static_cast<std::size_t>(i)]) + "\tok\t");
  }
  EXPECT_EQ(lines[4].rfind(Target(dead) + "\tfailed\t", 0), 0u) << lines[4];
  EXPECT_GT(lines[4].size(), Target(dead).size() + 8) << "the printer's last message";
  EXPECT_EQ(lines[5].rfind(Target(stalling.Port()) + "\tfailed\t", 0), 0u) << lines[5];

  // Every printer got exactly one single download: its announcement on a connection of its own,
  // the whole image on the next, judged consistent and stored as built.
  eight.Stop();
  for (int number = 1; number <= 8; ++number) {
    SCOPED_TRACE("printer " + std::to_string(number));
    std::vector<long long> received;
    for (const QJsonObject& event : OfPrinter(eight.Events(), number)) {
      if (event.value("event") == "connection_closed") received.push_back(event.value("bytes").toInteger());
    }
    const std::string announcement = "?Z:&" + std::to_string(image.size()) + "\n";
    EXPECT_EQ(received, (std::vector<long long>{static_cast<long long>(announcement.size()),
                                                 static_cast<long long>(image.size())}));
  }
  ExpectStored(8);
  // The closed port's messages are on stderr under its name.
  EXPECT_NE(many.err.find(Target(dead) + ": " + lines[4].substr(lines[4].rfind('\t') + 1, 20)), std::string::npos)
      << many.err;
  // One target with its port is today's download: nothing on stdout, messages unprefixed.
  EXPECT_EQ(alone.out, "");
  EXPECT_NE(alone.err.find("\n" + std::string(LoadStr(IDS_FONTS_STORED)) + "\n"), std::string::npos) << alone.err;
  EXPECT_EQ(alone.err.find("127.0.0.1:"), std::string::npos) << alone.err;
  EXPECT_TRUE(ReadFile(dir.File("single/image-001.bin")) == image);

  // Every printer's attempt is in the history, with the digest of the bytes it was sent: the whole
  // image, or (the stalling printer) the part of it sent before the transfer failed.
  const auto recorded = Recorded(kit, [&image](const DownloadRecord& record) {
    if (record.bytes > 0) {
      EXPECT_EQ(record.sha256, Sha256Hex(std::string_view(image).substr(0, static_cast<std::size_t>(record.bytes))))
          << record.target << ", " << record.bytes << " bytes";
    }
    const bool whole = record.bytes == static_cast<long long>(image.size());
    return record.result + (whole ? " whole" : "");
  });
  EXPECT_EQ(recorded.size(), 11u);
  for (const int port : ports) EXPECT_EQ(recorded.at(Target(port)), "ok whole;");
  EXPECT_EQ(recorded.at(Target(single.Port())), "ok whole;");
  EXPECT_EQ(recorded.at(Target(dead)), "failed;");
  EXPECT_EQ(recorded.at(Target(stalling.Port())).rfind("failed", 0), 0u);
}

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
  std::string expected;
  for (const int port : sim.Ports()) expected += Target(port) + "\tstopped\tDownload stopped.\n";
  EXPECT_EQ(run.out, expected);
  sim.Stop();
  int announcements = 0;
  for (const QJsonObject& event : sim.Events()) announcements += event.value("event") == "announcement";
  EXPECT_EQ(announcements, 2) << "the printers waiting their turn were never started";
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
  EXPECT_EQ(run.out, AllOk(sim));
  const std::string& err = run.err;
  // Every printer given is asked for at once, the limit holds that to fewer: said once, with
  // the rounds that makes and the limit as what raises it.
  const std::size_t notice = err.find(" printers at a time, not 48: the open-file limit allows no more\n");
  EXPECT_NE(notice, std::string::npos) << err;
  EXPECT_EQ(err.find("printers at a time", notice + 20), std::string::npos) << "said once";
  const std::size_t rounds = err.find("corvelle-cli: 48 printers in ");
  EXPECT_NE(rounds, std::string::npos) << err;
  EXPECT_NE(err.find("; a higher open-file limit (ulimit -n) serves more at once\n", rounds), std::string::npos) << err;
  EXPECT_EQ(err.find(" printers in ", rounds + 20), std::string::npos) << "said once";
  const auto recorded = Recorded(kit, Result);
  for (const int port : sim.Ports()) EXPECT_EQ(recorded.at(Target(port)), "ok;") << port;
  ExpectStored(kPrinters);
}

// REAL TIME: a one-area download to 200 printers at once, about 25 s. The simulator serves them
// all from one thread within 256 descriptors, soft and hard: its 200 listeners leave too few for a
// connection to every printer at once, so the rest wait in their backlogs instead of failing.
TEST_F(FleetDownload, TwoHundredPrintersAtOnceFromOneSimulatorUnderALowDescriptorLimit) {
  constexpr int kPrinters = 200;
  test::SimProcess sim({"--printers", std::to_string(kPrinters), "--port", "0", "--store", dir.File("store")},
                       {"/usr/bin/prlimit", "--nofile=256:256", "--"});
  ASSERT_TRUE(sim.Started());
  ASSERT_EQ(sim.Ports().size(), static_cast<std::size_t>(kPrinters));
  std::string threads;
  // The log is read as it comes, so that the simulator never waits for its reader.
  EXPECT_EQ(Run(ToAll(sim), [&](const test::Finished&) {
              sim.Next("none", 1);
              if (threads.empty()) {
                const std::string status = ReadFile("/proc/" + std::to_string(sim.Pid()) + "/status");
                const std::size_t at = status.find("\nThreads:\t");
                threads = at == std::string::npos ? "?" : status.substr(at + 10, status.find('\n', at + 1) - at - 10);
              }
              return false;
            }),
            0)
      << run.err;
  EXPECT_EQ(run.out, AllOk(sim));
  EXPECT_EQ(run.err.find(" rounds of up to "), std::string::npos) << "every printer at once";
  EXPECT_EQ(threads, "1") << "no thread per printer";
  EXPECT_EQ(sim.Stop(), 0);
  const auto refused = std::count_if(sim.Events().begin(), sim.Events().end(), [](const QJsonObject& event) {
    return event.value("event") == "accept_failed" || event.value("reason") == "too many connections waiting";
  });
  EXPECT_EQ(refused, 0) << "connections beyond the descriptors wait their turn";
  ExpectStored(kPrinters);
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
    EXPECT_EQ(err.find("not responding"), std::string::npos) << err;
    EXPECT_EQ(err.find("host not found"), std::string::npos) << err;
    for (const int port : sim.Ports()) {
      const std::string name = Target(port);
      if (run.out.find(name + "\tfailed\t") == std::string::npos) continue;
      // One of this printer's own lines gives the reason.
      bool told = false;
      for (std::size_t at = err.find(name + ": "); at != std::string::npos; at = err.find(name + ": ", at + 1)) {
        told |= err.substr(at, err.find('\n', at) - at).find("too many open files") != std::string::npos;
      }
      EXPECT_TRUE(told) << name << "\n" << err;
    }
    socketShort |= err.find("socket for 127.0.0.1: too many open files") != std::string::npos;
  }
  EXPECT_TRUE(socketShort) << "no limit left the echo test without its socket";
}

TEST_F(FleetDownload, ControlBytesInTargetsAndTheirMessagesReachNoOutputRaw) {
  // In a network of its own with no link up: the name is looked up nowhere, nothing answers.
  if (std::system("unshare -n true") != 0) GTEST_SKIP() << "no network namespace can be made here";
  const std::string odd = "bad\x1b[2Jname\x07";
  launcher = {"/usr/bin/unshare", "-n"};
  EXPECT_EQ(Run(Download({"--ip", "127.0.0.1:1", "--ip", odd + ":9"})), 1);
  EXPECT_EQ(test::RawControl(run.out), "") << run.out;
  EXPECT_EQ(test::RawControl(run.err), "") << run.err;
  const std::string shown = "bad\\x1b[2Jname\\x07:9";
  EXPECT_NE(run.out.find("\n" + shown + "\tfailed\t"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(shown + ": "), std::string::npos) << run.err;
}

TEST_F(FleetDownload, AnImageThatIsNotBuiltIsRecordedForEveryTarget) {
  // No fragment of the selected font is there: nothing to build.
  ::unlink((FontExtFolder(program) + "f10.hea").c_str());
  ::unlink((FontExtFolder(program) + "f10.sh").c_str());
  const std::vector<int> ports = {ClosedPort(), ClosedPort() + 1};
  EXPECT_EQ(Run(Download({"--ip", Target(ports[0]), "--ip", Target(ports[1])})), 1);
  std::string expected;
  for (const int port : ports) expected += Target(port) + "\tfailed\tThe font set image was not built.\n";
  EXPECT_EQ(run.out, expected);
  const auto recorded = Recorded(kit, [](const DownloadRecord& record) {
    return record.result + ":" + record.image + ":" + std::to_string(record.bytes);
  });
  for (const int port : ports) EXPECT_EQ(recorded.at(Target(port)), "failed:FontSet.SHC:0;") << port;
}

TEST_F(FleetDownload, ARepeatedTargetIsOneDownload) {
  // The same closed port three times, once through the stored port, is one target: the single
  // download, failing as it does today.
  const int port = ClosedPort();
  profile.WriteInt(kPortSection, "IPport", port);
  const std::string closed = Target(port);
  EXPECT_EQ(Run(Download({"--ip", closed, "--ip", "127.0.0.1", "--ip", closed, "--jobs", "256"})), 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.find(closed + ": "), std::string::npos) << run.err;
}

}  // namespace
}  // namespace corvelle
