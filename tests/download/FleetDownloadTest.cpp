// SPDX-License-Identifier: MIT
// corvelle-cli download to several printers, run as the built program against kerv-printer-sim
// on 127.0.0.1: eight printers, a closed port and a printer that stalls in one run (real pauses,
// about 22 s) beside a single download with today's output; Ctrl-C while printers pause and
// others wait their turn; and the usage errors, which contact nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <map>

#include "base/History.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortSettings.h"
#include "resources/Strings.h"
#include "download/CliFixture.h"

namespace corvelle {
namespace {

using test::ClosedPort;
using test::ReadFile;
using Clock = std::chrono::steady_clock;

std::string Target(int port) { return "127.0.0.1:" + std::to_string(port); }

// The events of printer `number` of a simulator started with --printers.
std::vector<QJsonObject> OfPrinter(const std::vector<QJsonObject>& events, int number) {
  std::vector<QJsonObject> own;
  for (const QJsonObject& event : events) {
    if (event.value("printer").toInt() == number) own.push_back(event);
  }
  return own;
}

class FleetDownload : public test::CliFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeFolders(program));
    // One area of about 300 kB: 11 s after the announcement, 11 s at the end.
    test::SelectFont(profile, program, 1, 100, 300000);
    profile.WriteString(kPortSection, "Port", "TCP/IP");
  }

  // Starts corvelle-cli `command` (through `launcher` when given); stdout and stderr go to
  // NAME.out and NAME.err.
  pid_t Start(const std::string& name, std::vector<std::string> args, const std::vector<std::string>& launcher = {},
              const std::string& command = "download") {
    args.insert(args.begin(), command);
    return StartNamed(name, std::move(args), launcher);
  }
  int Run(const std::string& name, const std::vector<std::string>& args) {
    return Wait(Start(name, args), std::chrono::seconds(20));
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
  std::vector<std::string> args = {"--ip-list", dir.Write("printers", list), "--ip", Target(dead),
                                   "--ip", "127.0.0.1:" + std::to_string(stalling.Port())};
  for (int i = 4; i < 8; ++i) args.insert(args.end(), {"--ip", Target(ports[static_cast<std::size_t>(i)])});
  args.insert(args.end(), {"--ip", Target(ports[0]), "--jobs", "16"});

  const pid_t fleet = Start("fleet", args);
  const pid_t alone = Start("single", {"--ip", Target(single.Port())});
  EXPECT_EQ(Wait(alone, std::chrono::seconds(90)), 0) << ReadFile(dir.File("single.err"));
  EXPECT_EQ(Wait(fleet, std::chrono::seconds(90)), 1) << ReadFile(dir.File("fleet.err"));
  const std::string image = ReadFile(DefaultFontSetPath(program));
  ASSERT_GT(image.size(), 300000u);

  // Results in the order given, the repeat served once.
  const std::string out = ReadFile(dir.File("fleet.out"));
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 10u) << out;
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
    EXPECT_TRUE(ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin")) == image);
  }
  // The closed port's messages are on stderr under its name.
  const std::string err = ReadFile(dir.File("fleet.err"));
  EXPECT_NE(err.find(Target(dead) + ": " + lines[4].substr(lines[4].rfind('\t') + 1, 20)), std::string::npos) << err;
  // One target with its port is today's download: nothing on stdout, messages unprefixed.
  EXPECT_EQ(ReadFile(dir.File("single.out")), "");
  const std::string alone_err = ReadFile(dir.File("single.err"));
  EXPECT_NE(alone_err.find("\n" + std::string(LoadStr(IDS_FONTS_STORED)) + "\n"), std::string::npos) << alone_err;
  EXPECT_EQ(alone_err.find("127.0.0.1:"), std::string::npos) << alone_err;
  EXPECT_TRUE(ReadFile(dir.File("single/image-001.bin")) == image);

  // Every printer's attempt is in the history, with the digest of the bytes it was sent: the whole
  // image, or (the stalling printer) the part of it sent before the transfer failed.
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(DefaultHistoryPath()).records) {
    const bool whole = record.bytes == static_cast<long long>(image.size()) && record.sha256 == Sha256Hex(image);
    recorded[record.target] += record.result + (whole ? " whole" : "") + ";";
    if (record.bytes > 0) {
      EXPECT_EQ(record.sha256, Sha256Hex(std::string_view(image).substr(0, static_cast<std::size_t>(record.bytes))))
          << record.target << ", " << record.bytes << " bytes";
    }
  }
  EXPECT_EQ(recorded.size(), 11u);
  for (const int port : ports) EXPECT_EQ(recorded[Target(port)], "ok whole;");
  EXPECT_EQ(recorded[Target(single.Port())], "ok whole;");
  EXPECT_EQ(recorded[Target(dead)], "failed;");
  EXPECT_EQ(recorded[Target(stalling.Port())].rfind("failed", 0), 0u);
}

TEST_F(FleetDownload, CtrlCStopsThePrintersRunningAndThoseWaitingTheirTurnAtOnce) {
  test::SimProcess sim({"--printers", "4", "--port", "0"});
  ASSERT_TRUE(sim.Started());
  std::vector<std::string> args = {"--jobs", "2"};
  for (const int port : sim.Ports()) args.insert(args.end(), {"--ip", Target(port)});
  const pid_t pid = Start("fleet", args);
  // Ctrl-C once both printers served have been announced to: they are in their 11-s pause.
  int announced = 0;
  Clock::time_point interrupted{};
  const int status = Wait(pid, std::chrono::seconds(20), [&] {
    while (announced < 2 && sim.Next("announcement", 1)) ++announced;
    if (announced < 2) return false;
    interrupted = Clock::now();
    return true;
  });
  EXPECT_EQ(status, 1) << ReadFile(dir.File("fleet.err"));
  EXPECT_LT(Clock::now() - interrupted, std::chrono::seconds(2)) << "every wait ends on STOP";
  std::string expected;
  for (const int port : sim.Ports()) expected += Target(port) + "\tstopped\tDownload stopped.\n";
  EXPECT_EQ(ReadFile(dir.File("fleet.out")), expected);
  sim.Stop();
  int announcements = 0;
  for (const QJsonObject& event : sim.Events()) announcements += event.value("event") == "announcement";
  EXPECT_EQ(announcements, 2) << "the printers waiting their turn were never started";
  // Every printer has its one record, those that never started too.
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(DefaultHistoryPath()).records) {
    recorded[record.target] += record.result + ";";
  }
  for (const int port : sim.Ports()) EXPECT_EQ(recorded[Target(port)], "stopped;") << port;
}

// REAL TIME: three rounds of one-area downloads, about 70 s.
TEST_F(FleetDownload, MorePrintersThanTheDescriptorLimitAllowsAtOnceAreAllServed) {
  constexpr int kPrinters = 48;
  test::SimProcess sim({"--printers", std::to_string(kPrinters), "--port", "0", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  std::vector<std::string> args;
  for (const int port : sim.Ports()) args.insert(args.end(), {"--ip", Target(port)});
  // 80 descriptors, soft and hard: fewer than 32 printers may need at once.
  const pid_t pid = Start("many", args, {"/usr/bin/prlimit", "--nofile=80:80", "--"});
  EXPECT_EQ(Wait(pid, std::chrono::seconds(200)), 0) << ReadFile(dir.File("many.err"));
  std::string expected;
  for (const int port : sim.Ports()) expected += Target(port) + "\tok\t\n";
  EXPECT_EQ(ReadFile(dir.File("many.out")), expected);
  const std::string err = ReadFile(dir.File("many.err"));
  // Every printer given is asked for at once, the limit holds that to fewer: said once, with
  // the rounds that makes and the limit as what raises it.
  const std::size_t notice = err.find(" printers at a time, not 48: the open-file limit allows no more\n");
  EXPECT_NE(notice, std::string::npos) << err;
  EXPECT_EQ(err.find("printers at a time", notice + 20), std::string::npos) << "said once";
  const std::size_t rounds = err.find("corvelle-cli: 48 printers in ");
  EXPECT_NE(rounds, std::string::npos) << err;
  EXPECT_NE(err.find("; a higher open-file limit (ulimit -n) serves more at once\n", rounds), std::string::npos) << err;
  EXPECT_EQ(err.find(" printers in ", rounds + 20), std::string::npos) << "said once";
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(DefaultHistoryPath()).records) {
    recorded[record.target] += record.result + ";";
  }
  for (const int port : sim.Ports()) EXPECT_EQ(recorded[Target(port)], "ok;") << port;
  const std::string image = ReadFile(DefaultFontSetPath(program));
  for (int number = 1; number <= kPrinters; ++number) {
    EXPECT_TRUE(ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin")) == image) << number;
  }
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
  std::vector<std::string> args;
  for (const int port : sim.Ports()) args.insert(args.end(), {"--ip", Target(port)});
  const pid_t pid = Start("many", args);
  std::string threads;
  // The log is read as it comes, so that the simulator never waits for its reader.
  EXPECT_EQ(Wait(pid, std::chrono::seconds(120), [&] {
              sim.Next("none", 1);
              if (threads.empty()) {
                const std::string status = ReadFile("/proc/" + std::to_string(sim.Pid()) + "/status");
                const std::size_t at = status.find("\nThreads:\t");
                threads = at == std::string::npos ? "?" : status.substr(at + 10, status.find('\n', at + 1) - at - 10);
              }
              return false;
            }),
            0)
      << ReadFile(dir.File("many.err"));
  std::string expected;
  for (const int port : sim.Ports()) expected += Target(port) + "\tok\t\n";
  EXPECT_EQ(ReadFile(dir.File("many.out")), expected);
  EXPECT_EQ(ReadFile(dir.File("many.err")).find(" rounds of up to "), std::string::npos) << "every printer at once";
  EXPECT_EQ(threads, "1") << "no thread per printer";
  EXPECT_EQ(sim.Stop(), 0);
  const auto refused = std::count_if(sim.Events().begin(), sim.Events().end(), [](const QJsonObject& event) {
    return event.value("event") == "accept_failed" || event.value("reason") == "too many connections waiting";
  });
  EXPECT_EQ(refused, 0) << "connections beyond the descriptors wait their turn";
  const std::string image = ReadFile(DefaultFontSetPath(program));
  for (int number = 1; number <= kPrinters; ++number) {
    EXPECT_TRUE(ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin")) == image) << number;
  }
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
  const std::vector<std::string> args = {"--ip", Target(sim.Ports()[0]), "--ip", Target(sim.Ports()[1])};
  const auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  };
  bool socketShort = false;
  // From a limit just above the one the font set's build needs (one descriptor inherited more or
  // less moves every step).
  for (int limit = 7; limit <= 10; ++limit) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const std::string nofile = "--nofile=" + std::to_string(limit) + ":" + std::to_string(limit);
    const int status = Wait(Start("short", args, {"/usr/bin/prlimit", nofile, "--"}), std::chrono::seconds(60));
    const std::string out = ReadFile(dir.File("short.out"));
    const std::string err = lower(ReadFile(dir.File("short.err")));
    EXPECT_EQ(status, out.find("\tfailed\t") == std::string::npos ? 0 : 1) << out;
    EXPECT_EQ(err.find("not responding"), std::string::npos) << err;
    EXPECT_EQ(err.find("host not found"), std::string::npos) << err;
    for (const int port : sim.Ports()) {
      const std::string name = Target(port);
      if (out.find(name + "\tfailed\t") == std::string::npos) continue;
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
  const std::vector<std::string> targets = {"--ip", "127.0.0.1:1", "--ip", odd + ":9"};
  EXPECT_EQ(Wait(Start("odd", targets, {"/usr/bin/unshare", "-n"}), std::chrono::seconds(20)), 1);
  const std::string out = ReadFile(dir.File("odd.out"));
  const std::string err = ReadFile(dir.File("odd.err"));
  Wait(Start("history", {}, {}, "history"), std::chrono::seconds(20));
  const std::string table = ReadFile(dir.File("history.out"));
  for (const std::string* text : {&out, &err, &table}) {
    EXPECT_EQ(std::count_if(text->begin(), text->end(),
                            [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7f; }),
              0)
        << *text;
  }
  const std::string shown = "bad\\x1b[2Jname\\x07:9";
  EXPECT_NE(out.find("\n" + shown + "\tfailed\t"), std::string::npos) << out;
  EXPECT_NE(err.find(shown + ": "), std::string::npos) << err;
  EXPECT_NE(table.find(shown), std::string::npos) << table;
}

TEST_F(FleetDownload, AnImageThatIsNotBuiltIsRecordedForEveryTarget) {
  // No fragment of the selected font is there: nothing to build.
  ::unlink((FontExtFolder(program) + "f10.hea").c_str());
  ::unlink((FontExtFolder(program) + "f10.sh").c_str());
  const std::vector<int> ports = {ClosedPort(), ClosedPort() + 1};
  EXPECT_EQ(Run("unbuilt", {"--ip", Target(ports[0]), "--ip", Target(ports[1])}), 1);
  std::string expected;
  for (const int port : ports) expected += Target(port) + "\tfailed\tThe font set image was not built.\n";
  EXPECT_EQ(ReadFile(dir.File("unbuilt.out")), expected);
  std::map<std::string, std::string> recorded;
  for (const DownloadRecord& record : ReadHistory(DefaultHistoryPath()).records) {
    recorded[record.target] += record.result + ":" + record.image + ":" + std::to_string(record.bytes) + ";";
  }
  for (const int port : ports) EXPECT_EQ(recorded[Target(port)], "failed:FontSet.SHC:0;") << port;
}

TEST_F(FleetDownload, UsageErrorsContactNothingAndARepeatedTargetIsOneDownload) {
  const std::string list = dir.Write("list", "10.0.0.1\n# fine\n10.0.0.2:70000\n");
  const std::vector<std::vector<std::string>> usage = {
      {"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--port", "COM1:"},
      {"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--port", "FILE", "--output", dir.File("x")},
      {"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--output", dir.File("x")},
      {"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--jobs", "0"},
      {"--ip", "10.0.0.1", "--ip", "10.0.0.2", "--jobs", "1025"},
      {"--ip", "10.0.0.1:65536", "--ip", "10.0.0.2"},
      {"--ip", "10.0.0.2", "--ip-list", list},
      {"--ip", "10.0.0.2", "--ip-list", dir.File("missing")},
  };
  for (const auto& args : usage) {
    EXPECT_EQ(Run("usage", args), 2) << args.back() << ": " << ReadFile(dir.File("usage.err"));
    EXPECT_EQ(ReadFile(dir.File("usage.out")), "");
  }
  EXPECT_NE(ReadFile(dir.File("usage.err")).find(dir.File("missing")), std::string::npos);
  EXPECT_EQ(Run("usage", {"--ip-list", list}), 2);
  EXPECT_NE(ReadFile(dir.File("usage.err")).find(list + ":3: "), std::string::npos) << ReadFile(dir.File("usage.err"));
  // The same closed port three times, once through the stored port, is one target: the single
  // download, failing as it does today.
  const int port = ClosedPort();
  profile.WriteInt(kPortSection, "IPport", port);
  ASSERT_TRUE(profile.Save());
  const std::string closed = Target(port);
  EXPECT_EQ(Run("repeat", {"--ip", closed, "--ip", "127.0.0.1", "--ip", closed, "--jobs", "256"}), 1);
  EXPECT_EQ(ReadFile(dir.File("repeat.out")), "");
  EXPECT_EQ(ReadFile(dir.File("repeat.err")).find(closed + ": "), std::string::npos) << ReadFile(dir.File("repeat.err"));
}

}  // namespace
}  // namespace corvelle
