// SPDX-License-Identifier: MIT
// The printer a command line names is the printer served, run as the built corvelle-cli against
// kerv-printer-sim on 127.0.0.1: --ip means TCP/IP whatever port is stored, every spelling of one
// printer is served once, a port or a list that cannot serve it is a usage error, a FILE port
// without a file says so, and two runs to one printer never interleave: the second fails at once
// naming the first, or with --wait waits for it, also when the first is killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/History.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "cli/CliKit.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortEnvironment.h"
#include "ports/PortSettings.h"
#include "resources/Strings.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using test::ReadFile;

std::string Target(int port) { return "127.0.0.1:" + std::to_string(port); }

// The byte counts of the images a printer put together ("1234 consistent"), and of every
// connection it saw closed.
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

class NamedPrinter : public test::CliTest {
 protected:
  void SetUp() override {
    SelectFont(1, 100, 1000);
    // What a fresh profile stores: the first serial line, here a printer of its own.
    profile.WriteString(kPortSection, "Port", "COM1:");
    profile.WriteString(kDevicesSection, "COM1", serial.PtyPath());
  }
  std::string Image() const { return ReadFile(DefaultFontSetPath(program)); }
  std::string OneImage() const { return std::to_string(Image().size()) + " consistent"; }
  bool NothingBuilt() const { return !test::FileExists(DefaultFontSetPath(program)); }

  test::SimProcess serial{{"--pty"}};
};

TEST_F(NamedPrinter, UsageErrorsAndAFilePortWithoutAFileSayWhyAndContactNothing) {
  ASSERT_TRUE(serial.Started());
  const std::string empty = dir.Write("empty", "# none yet\n\n");
  const std::string v6 = dir.Write("v6", "10.0.0.1\n[::1]:4001\n");
  const std::string list = dir.Write("list", "10.0.0.1\n# fine\n10.0.0.2:70000\n");
  const std::vector<std::string> two = {"--ip", "10.0.0.1", "--ip", "10.0.0.2"};
  const auto both = [&two](std::vector<std::string> more) {
    more.insert(more.begin(), two.begin(), two.end());
    return more;
  };
  const struct {
    std::vector<std::string> args;
    std::string says;
  } usage[] = {
      {{"--ip", "10.0.0.1", "--port", "COM1:"}, "--port COM1:"},
      {{"--ip-list", empty, "--port", "FILE"}, "--port FILE"},
      {{"--ip", "10.0.0.1:9100", "--output", dir.File("x")}, "--output"},
      {{"--ip-list", empty}, empty},
      {{"--ip", "::1"}, "IPv6 addresses are not supported"},
      {{"--ip-list", v6}, v6 + ":2: '[::1]:4001': IPv6 addresses are not supported"},
      {both({"--port", "COM1:"}), ""},
      {both({"--port", "FILE", "--output", dir.File("x")}), ""},
      {both({"--output", dir.File("x")}), ""},
      {both({"--jobs", "0"}), ""},
      {both({"--jobs", "1025"}), ""},
      {{"--ip", "10.0.0.1:65536", "--ip", "10.0.0.2"}, ""},
      {{"--ip", "10.0.0.2", "--ip-list", list}, list + ":3: "},
      {{"--ip-list", list}, list + ":3: "},
      {{"--ip", "10.0.0.2", "--ip-list", dir.File("missing")}, dir.File("missing")},
  };
  for (const auto& [args, says] : usage) {
    std::vector<std::string> command = {"download"};
    command.insert(command.end(), args.begin(), args.end());
    EXPECT_EQ(Run(command), 2) << args.back();
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(NothingBuilt());
  // A FILE download with nowhere to write fails before anything is built, and says why.
  EXPECT_EQ(Run({"download", "--port", "FILE"}), 1);
  EXPECT_EQ(run.err, "The FILE port needs --output FILE: no output file was given.\n");
  EXPECT_TRUE(NothingBuilt());
  const auto records = ReadHistory(kit.HistoryPath()).records;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].result, "failed");
  EXPECT_EQ(records[0].message, "The FILE port needs --output FILE: no output file was given.");
  serial.Stop();
  EXPECT_TRUE(ReceivedBy(serial.Events()).images.empty());
}

TEST_F(NamedPrinter, IsServedOverTcpWhateverIsStoredAndItsSpellingsAreOnePrinter) {
  test::SimProcess tcp({"--printers", "2", "--port", "0"});
  ASSERT_TRUE(serial.Started() && tcp.Started());
  const std::string alone = std::to_string(tcp.Ports()[0]), shared = std::to_string(tcp.Ports()[1]);
  const int closed = test::ClosedPort();
  // One printer under five spellings, and a printer that is not there.
  const std::string list =
      dir.Write("list", "localhost:" + shared + "\n0x7f.0.0.1:" + shared + "\n" + Target(closed) + "\n");
  auto fleet = Start({"download", "--ip", "127.1:" + shared, "--ip", Target(tcp.Ports()[1]), "--ip-list", list,
                      "--ip", "LOCALHOST:" + shared});
  const test::Finished single = Start({"download", "--ip", "127.1:" + alone}).get();
  const test::Finished many = fleet.get();
  EXPECT_EQ(single.exit, 0) << single.err;
  EXPECT_EQ(many.exit, 1) << many.err;
  EXPECT_NE(single.err.find(std::string(LoadStr(IDS_FONTS_STORED))), std::string::npos);
  EXPECT_EQ(many.out.rfind("127.1:" + shared + "\tok\t\n" + Target(closed) + "\tfailed\t", 0), 0u) << many.out;
  EXPECT_EQ(std::count(many.out.begin(), many.out.end(), '\n'), 2) << many.out;

  // A printer that is not there fails the run naming it, even with a serial printer stored.
  EXPECT_EQ(Run({"download", "--ip", Target(closed)}), 1);
  EXPECT_EQ(run.err.find(std::string(LoadStr(IDS_FONTS_STORED))), std::string::npos) << run.err;
  EXPECT_FALSE(run.err.empty());

  // Each TCP printer got one whole download, announcement and image on connections of their own;
  // the stored serial printer got nothing.
  tcp.Stop();
  serial.Stop();
  const std::string announcement = "?Z:&" + std::to_string(Image().size()) + "\n";
  for (const int printer : {1, 2}) {
    SCOPED_TRACE(printer);
    const Received received = ReceivedBy(tcp.Events(), printer);
    EXPECT_EQ(received.images, std::vector<std::string>{OneImage()});
    EXPECT_EQ(received.connections,
              (std::vector<long long>{static_cast<long long>(announcement.size()), static_cast<long long>(Image().size())}));
  }
  EXPECT_TRUE(ReceivedBy(serial.Events()).images.empty());
  EXPECT_TRUE(ReceivedBy(serial.Events()).connections.empty());
}

// The first run is killed in its closing pause, once the printer has its image, so the last run
// also shows that a holder that dies leaves the printer free. (Killed before its image went, it
// would leave the printer waiting for an area, which then takes the next announcement for it.)
TEST_F(NamedPrinter, TwoRunsToOnePrinterNeverInterleave) {
  test::SimProcess tcp({"--port", "0"});
  ASSERT_TRUE(serial.Started() && tcp.Started());
  const std::string port = std::to_string(tcp.Port());
  std::atomic<bool> killFirst = false;
  auto first = Start({"download", "--ip", Target(tcp.Port())}, [&](const test::Finished&) { return killFirst.load(); },
                     SIGKILL);
  ASSERT_TRUE(tcp.Next("image", 30000));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"download", "--ip", "127.1:" + port}), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(5)) << "a held printer fails at once";
  const test::Finished refused = run;

  auto waiting = Start({"download", "--wait", "--ip", "localhost:" + port});
  EXPECT_EQ(waiting.wait_for(milliseconds(1500)), std::future_status::timeout) << "still waiting";
  killFirst = true;
  const test::Finished killed = first.get();
  EXPECT_EQ(killed.exit, -1);
  const test::Finished waited = waiting.get();
  EXPECT_EQ(waited.exit, 0) << waited.err;
  const std::string busy = Target(tcp.Port()) + " is busy: corvelle-cli (process " + std::to_string(killed.pid) +
                           ") is downloading to it. ";
  EXPECT_EQ(refused.err, busy + "Nothing was sent.\n");
  EXPECT_EQ(waited.err.rfind(busy + "Waiting for it to finish...\n", 0), 0u) << waited.err;

  // Two whole downloads, the killed run's and the waiting run's; the refused run sent nothing.
  tcp.Stop();
  const std::string announcement = "?Z:&" + std::to_string(Image().size()) + "\n";
  const Received received = ReceivedBy(tcp.Events());
  const auto length = static_cast<long long>(Image().size());
  const auto announced = static_cast<long long>(announcement.size());
  EXPECT_EQ(received.connections, (std::vector<long long>{announced, length, announced, length}));
  EXPECT_EQ(received.images, (std::vector<std::string>{OneImage(), OneImage()}));
  std::string results;
  for (const DownloadRecord& record : ReadHistory(kit.HistoryPath()).records) {
    if (record.target != Target(tcp.Port())) continue;
    const bool whole = record.bytes == static_cast<long long>(Image().size()) && record.sha256 == Sha256Hex(Image());
    results += record.target + " " + record.result + (whole ? " whole" : "") + ";";
  }
  EXPECT_EQ(results, Target(tcp.Port()) + " failed;" + Target(tcp.Port()) + " ok whole;");
}

}  // namespace
}  // namespace corvelle
