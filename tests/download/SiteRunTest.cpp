// SPDX-License-Identifier: MIT
// A site's printers served as a technician serves them, the built corvelle-cli against
// kerv-printer-sim on 127.0.0.1: an inventory of two sites and three selections (real pauses,
// about 22 s a run), rows picked by site and name, bad rows, a printer that refuses its first
// two connections, a cause never tried again, STOP in a wait, and a run of only the failures.
#include <algorithm>
#include <map>
#include <optional>
#include <thread>

#include "base/History.h"
#include "base/Paths.h"
#include "base/PrinterLock.h"
#include "base/Sha256.h"
#include "catalogue/SelectionProfile.h"
#include "catalogue/SettingsFile.h"
#include "cli/CliKit.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortSettings.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using test::ClosedPort;
using test::ReadFile;

std::string Target(int port) { return "127.0.0.1:" + std::to_string(port); }

class SiteRun : public test::CliTest {
 protected:
  void SetUp() override { profile.WriteString(kPortSection, "Port", "TCP/IP"); }

  // corvelle-cli download with `args`: its exit status, the run in `run`.
  int Download(std::vector<std::string> args, const test::Interrupt& interruptWhen = {}, int signal = SIGINT) {
    args.insert(args.begin(), "download");
    return Run(args, interruptWhen, signal);
  }
  // The stored selection now, as a .kvf in the inventory's folder, and the image it builds.
  std::string SaveSelection(const std::string& name) {
    EXPECT_EQ(Run({"build", "--output", dir.File(name + ".shc")}), 0) << run.err;
    return dir.Write("site/" + name + ".kvf", SerializeSettings(LoadSelectionFromProfile(profile)));
  }
  std::vector<DownloadRecord> Records() const { return ReadHistory(kit.HistoryPath()).records; }
  // Each target's records: "result name site selection;".
  std::map<std::string, std::string> Recorded() const {
    std::map<std::string, std::string> recorded;
    for (const DownloadRecord& r : Records()) {
      recorded[r.target] += r.result + " " + r.name + " " + r.site + " " + r.selection + ";";
    }
    return recorded;
  }
  // Waits up to 10 s for the history to hold `count` records.
  bool RecordsReach(std::size_t count) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Records().size() < count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Records().size() >= count;
  }
};

TEST_F(SiteRun, TwoSitesThreeSelectionsPickedByRowAndTheFailuresRunAgain) {
  SelectFont(1, 100, 200000);
  const std::string a = SaveSelection("a");
  profile.WriteString("FontsAggiuntivi", "Font001", "");
  SelectFont(2, 90, 150000);
  const std::string b = SaveSelection("b");
  profile.WriteString("FontsAggiuntivi", "Font002", "");
  SelectFont(3, 80, 100000);
  ASSERT_EQ(Run({"build", "--output", dir.File("stored.shc")}), 0) << run.err;
  const std::string storedFont = profile.GetString("FontsAggiuntivi", "Font003", "");

  test::SimProcess sim({"--printers", "4", "--port", "0", "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  const std::vector<int>& ports = sim.Ports();
  const int dead = ClosedPort();
  const std::string inventory = dir.Write(
      "site/inv.csv", "Name,Site,Address,Selection,Notes\r\n"
                      "n1,Nord," + Target(ports[0]) + ",a.kvf,\"first, by the door\"\r\n"
                      "n2,Nord,127.1:" + std::to_string(ports[1]) + ",a.kvf,\r\n"
                      "s1,Sud," + Target(ports[2]) + "," + b + ",\r\n"
                      "s2,Sud," + Target(ports[3]) + ",,\r\n"
                      ",,,,\r\n"
                      "w1,West," + Target(dead) + ",a.kvf,\r\n");

  // Picking: only the western row, which refuses; no row at all is a usage error.
  EXPECT_EQ(Download({"--inventory", inventory, "--site", "W*"}), 1) << run.err;
  const std::string west = run.out;
  EXPECT_EQ(west.rfind(Target(dead) + "\tfailed\t", 0), 0u) << west;
  EXPECT_TRUE(west.ends_with("\tw1\tWest\n")) << west;
  EXPECT_EQ(Download({"--inventory", inventory, "--site", "Nord", "--name", "s?"}), 2);
  EXPECT_NE(run.err.find("has no enabled printer that --site and --name pick"), std::string::npos) << run.err;

  // Every row: each printer gets its own group's image, byte for byte.
  EXPECT_EQ(Download({"--inventory", inventory}), 1) << run.err;
  EXPECT_EQ(run.out, Target(ports[0]) + "\tok\t\tn1\tNord\n" + "127.1:" + std::to_string(ports[1]) +
                         "\tok\t\tn2\tNord\n" + Target(ports[2]) + "\tok\t\ts1\tSud\n" + Target(ports[3]) +
                         "\tok\t\ts2\tSud\n" + west);
  const std::string all = dir.Write("all.out", run.out);
  sim.Stop();
  const std::string expected[] = {ReadFile(dir.File("a.shc")), ReadFile(dir.File("a.shc")), ReadFile(dir.File("b.shc")),
                                  ReadFile(dir.File("stored.shc"))};
  ASSERT_NE(expected[0], expected[2]);
  ASSERT_NE(expected[2], expected[3]);
  for (int number = 1; number <= 4; ++number) {
    EXPECT_TRUE(ReadFile(dir.File("store/printer-" + std::to_string(number) + "/image-001.bin")) ==
                expected[number - 1])
        << "printer " << number;
  }
  // The stored selection is as it was.
  const Profile after(profile.Path());
  EXPECT_EQ(after.GetString("FontsAggiuntivi", "Font001", "-"), "");
  EXPECT_EQ(after.GetString("FontsAggiuntivi", "Font003", ""), storedFont);
  // The history says which row and which .kvf, by its bytes.
  std::map<std::string, std::string> recorded = Recorded();
  EXPECT_EQ(recorded[Target(ports[0])], "ok n1 Nord a.kvf;");
  EXPECT_EQ(recorded[Target(ports[2])], "ok s1 Sud b.kvf;");
  EXPECT_EQ(recorded[Target(ports[3])], "ok s2 Sud ;");
  EXPECT_EQ(recorded[Target(dead)], "failed w1 West a.kvf;failed w1 West a.kvf;");
  for (const DownloadRecord& r : Records()) {
    if (r.name == "n2") {
      EXPECT_EQ(r.selectionSha256, Sha256Hex(ReadFile(a)));
    }
  }

  // The run's failures again, from its result lines: only the western printer, with its .kvf.
  test::SimProcess westSim({"--port", std::to_string(dead), "--store", dir.File("west")});
  ASSERT_TRUE(westSim.Started());
  EXPECT_EQ(Download({"--inventory", inventory, "--ip-list", all, "--only-failed"}), 0) << run.err;
  EXPECT_EQ(run.out, Target(dead) + "\tok\t\tw1\tWest\n");
  westSim.Stop();
  EXPECT_TRUE(ReadFile(dir.File("west/image-001.bin")) == expected[0]);
  // Nothing failed in that run: nothing to do.
  EXPECT_EQ(Download({"--ip-list", dir.Write("again.out", run.out), "--only-failed"}), 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("nothing to download again"), std::string::npos) << run.err;
}

TEST_F(SiteRun, BadRowsAreUsageErrorsNamingTheLineBeforeAnythingIsSent) {
  SelectFont(1, 100, 1000);
  SaveSelection("a");
  const int port = ClosedPort();
  const std::string header = "name,address,selection\n";
  const struct {
    std::string rows;
    std::string error;
  } bad[] = {
      {"x," + Target(port) + ",\n\ny,,\n", ":4: the row has no address"},
      {"x," + Target(port) + ",missing.kvf\n", ":2: cannot open " + dir.File("site/missing.kvf")},
      {"x," + Target(port) + ",a.kvf\ny,127.1:" + std::to_string(port) + ",\n",
       ":3: 127.1:" + std::to_string(port) + " is the printer of " + dir.File("site/inv.csv") + ":2 too"},
  };
  for (const auto& [rows, error] : bad) {
    const std::string inventory = dir.Write("site/inv.csv", header + rows);
    EXPECT_EQ(Download({"--inventory", inventory, "--retry", "3"}), 2) << rows;
    EXPECT_NE(run.err.find("corvelle-cli: " + inventory + error), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const std::string inventory = dir.Write("site/inv.csv", header + "x," + Target(port) + ",\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--site", "Nord"},
                                             {"--inventory", inventory, "--retry", "11"},
                                             {"--inventory", inventory, "--retry-wait", "601"},
                                             {"--inventory", inventory, "--retry-wait", "-1"},
                                             {"--retry", "1"},
                                             {"--inventory", inventory, "--only-failed"},
                                             {"--inventory", inventory, "--ip", "127.0.0.2:1"}}) {
    EXPECT_EQ(Download(args), 2) << args.back() << ": " << run.err;
  }
  EXPECT_EQ(Records().size(), 0u) << "nothing was tried";

  // Every row with a selection of its own: the stored one, empty now, is not built at all.
  profile.WriteString("FontsAggiuntivi", "Font001", "");
  dir.Write("site/inv.csv", header + "x," + Target(port) + ",a.kvf\n");
  EXPECT_EQ(Download({"--inventory", inventory}), 1) << run.err;
  EXPECT_EQ(run.out.rfind(Target(port) + "\tfailed\t", 0), 0u) << run.out;
  EXPECT_EQ(run.err.find(LoadStr(IDS_NO_FONTS_SELECTED)), std::string::npos) << run.err;
}

TEST_F(SiteRun, APrinterRefusingTwiceIsServedOnTheThirdAttempt) {
  SelectFont(1, 100, 100000);
  const int port = ClosedPort();
  auto retry = Start({"download", "--ip", Target(port), "--retry", "2", "--retry-wait", "1.5"});
  // The printer comes up in the wait after the second refusal (3 s).
  ASSERT_TRUE(RecordsReach(2));
  test::SimProcess sim({"--port", std::to_string(port), "--store", dir.File("store")});
  ASSERT_TRUE(sim.Started());
  const test::Finished done = retry.get();
  EXPECT_EQ(done.exit, 0) << done.err;
  EXPECT_EQ(done.out, Target(port) + "\tok (attempt 3 of 3)\t\n");
  EXPECT_NE(done.err.find(Target(port) + ": trying again in 2 s (attempt 2 of 3)"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find(Target(port) + ": trying again in 3 s (attempt 3 of 3)"), std::string::npos) << done.err;
  sim.Stop();
  EXPECT_TRUE(ReadFile(dir.File("store/image-001.bin")) == ReadFile(DefaultFontSetPath(program)));
  EXPECT_EQ(Recorded()[Target(port)], "failed   ;failed   ;ok   ;");
}

TEST_F(SiteRun, ABusyPrinterIsNeverTriedAgainAndStopEndsAWaitAtOnce) {
  SelectFont(1, 100, 1000);
  const int busy = ClosedPort(), refusing = busy + 1;
  const PrinterLock held(Target(busy));
  ASSERT_EQ(held.GetState(), PrinterLock::State::Held);
  EXPECT_EQ(Download({"--ip", Target(busy), "--ip", Target(refusing), "--retry", "3", "--retry-wait", "0.1"}), 1)
      << run.err;
  EXPECT_EQ(run.out.rfind(Target(busy) + "\tfailed\t" + Target(busy) + " is busy: ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\n" + Target(refusing) + "\tfailed (attempt 4 of 4)\t"), std::string::npos) << run.out;
  std::map<std::string, std::string> recorded = Recorded();
  EXPECT_EQ(recorded[Target(busy)], "failed   ;");
  EXPECT_EQ(recorded[Target(refusing)], "failed   ;failed   ;failed   ;failed   ;");

  // SIGTERM in a minute's wait, 200 ms after the first attempt is recorded, ends it at once, the
  // printer stopped.
  const std::size_t before = Records().size();
  std::optional<std::chrono::steady_clock::time_point> attempted;
  const auto inTheWait = [&](const test::Finished&) {
    if (!attempted && Records().size() > before) attempted = std::chrono::steady_clock::now();
    return attempted && std::chrono::steady_clock::now() - *attempted > std::chrono::milliseconds(200);
  };
  EXPECT_EQ(Download({"--ip", Target(refusing), "--retry", "2", "--retry-wait", "60"}, inTheWait, SIGTERM), 1)
      << run.err;
  EXPECT_LT(run.secondsAfterSignal, 2.0) << run.err;
  EXPECT_EQ(run.out, Target(refusing) + "\tstopped\tDownload stopped.\n");
  EXPECT_EQ(Records().size(), before + 1) << "one attempt was made";
}

}  // namespace
}  // namespace corvelle
