// SPDX-License-Identifier: MIT
// Hostile inputs. Index files, selection settings files and profiles that are truncated, huge,
// hold 1 MB lines or are FIFOs: each read ends with one clear outcome, quickly and in bounded
// memory, and a profile that was not read is never overwritten. A settings file whose save fails
// keeps its old content, and read-only files stay as they are. A process killed while it saves
// the profile leaves the old profile or the new one, whole. Every saved fuzzer input (a truncated
// index among the seeds) and a megabyte of garbage keep the parsers' own properties.
// Whole downloads over real transports that break or stall part-way: a printer that closes the
// connection, one that stops reading, a serial line whose far end goes away or stays in XOFF, a
// USB bridge stuck in XOFF, a disk that fills. Each runs in a child under a time limit and must
// end with one clear outcome: one message or none, the progress window gone, the busy cursor
// off, and never a closing message for a transfer that did not finish.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>

#include "base/Paths.h"
#include "base/Profile.h"
#include "catalogue/FontCatalogue.h"
#include "catalogue/SettingsFile.h"
#include "download/Download.h"
#include "fuzz/FuzzTargets.h"
#include "ports/FakeD2xx.h"
#include "ports/UsbBackend.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "tools/SimProcess.h"

// Helpers for the hostile-input and fault tests: huge files made cheaply, deterministic garbage,
// the peak memory a piece of code takes, and a time limit that turns a hang into a failure.
namespace corvelle {
namespace {

// `name` in `dir` (folders made): `head`, then zero bytes up to 100 MB in all, which take no disk
// space. Its path, or "" on failure.
std::string MakeHugeFile(const test::TempDir& dir, const std::string& name, const std::string& head = "") {
  return ::truncate(dir.Write(name, head).c_str(), 100 << 20) == 0 ? dir.File(name) : "";
}

// `size` pseudo-random bytes, the same for the same seed.
std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::generate(bytes.begin(), bytes.end(), std::mt19937(seed));
  return bytes;
}

// How far the resident memory of this process rose above its level at the call while `body`
// ran, in bytes (from the kernel's peak-RSS mark, which the call resets).
std::int64_t PeakMemoryGrowth(const std::function<void()>& body) {
  // A "VmRSS:" or "VmHWM:" figure of /proc/self/status, given in KiB.
  const auto bytes = [](const std::string& field) {
    const std::string status = test::ReadFile("/proc/self/status");
    return std::stoll(status.substr(status.find(field) + field.size())) * 1024;
  };
  // Writing 5 to clear_refs resets the peak mark (VmHWM) to the current resident size.
  std::ofstream("/proc/self/clear_refs") << "5";
  const std::int64_t before = bytes("VmRSS:");
  body();
  return bytes("VmHWM:") - before;
}

// Runs `body` in a child process killed after `seconds` and returns the (short) text it returned,
// or says that the child did not end by itself in time (a hang) or crashed.
std::string RunWithin(unsigned seconds, const std::function<std::string()>& body) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return "no pipe";
  // The text is short, so the child's one write fits the pipe before anyone reads it.
  const int exit = test::RunInChild([&] {
    ::alarm(seconds);
    const std::string text = body();
    return ::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
  });
  ::close(report[1]);
  std::string text;
  for (char c; ::read(report[0], &c, 1) == 1;) text += c;
  ::close(report[0]);
  return exit == 0 ? text : "the child did not finish in time or crashed (" + std::to_string(exit) + ")";
}

namespace fs = std::filesystem;

constexpr std::int64_t kMiB = 1 << 20;
const std::string kMegabyte(kMiB, 'm');
const char* const kNotSaved = " (the settings are not saved, so that the file is not replaced)";

// Loads `path` over a selection with a marker in position 112, to show whether it was replaced.
Outcome Load(const std::string& path, FontSelection& selection) {
  selection = FontSelection{};
  selection.back().displayName = "before";
  return LoadSettingsFile(path, "/opt/corvelle", selection);
}

// An index gives at most the entry cap; a settings file fills the positions its lines reach, each
// line cut to the line cap, and reading stops after the last position.
TEST(HostileFile, HugeIndexesAndTruncatedHugeAndMegabyteLineSettingsFilesReadInBoundedMemory) {
  const test::TempDir dir;
  ASSERT_NE(MakeHugeFile(dir, "FontExt/Index1252.shi"), "");
  std::size_t entries = 0;
  EXPECT_LT(PeakMemoryGrowth([&] { entries = LoadCatalogue(dir.Path(), 2).size(); }), 64 * kMiB);
  EXPECT_EQ(entries, kMaxCatalogueEntries);
  FontSelection s;
  ASSERT_TRUE(Load(dir.Write("cut.kvf", "Block 10\r\nC:\\Kerv\\BLKR10WE.she\r\nGothic 12\r\nC:\\Kerv\\Fo"), s));
  EXPECT_EQ(s[1].displayName + " " + s[1].fontPath, "Gothic 12 /opt/corvelle/FontExt/Fo");
  EXPECT_TRUE(s[2] == SelectionSlot{} && s.back() == SelectionSlot{});
  const std::string path = std::string(kMiB, 'p') + "\\X.she";
  ASSERT_TRUE(Load(dir.Write("long.kvf", kMegabyte + "\r\n" + path + "\r\nNext\r\nNEXT.she\r\n"), s));
  // The cut kept no separator: the cut name goes into FontExt like a bare one.
  EXPECT_TRUE(s[0] == (SelectionSlot{kMegabyte.substr(0, kMaxSettingsLine),
                                     "/opt/corvelle/FontExt/" + path.substr(0, kMaxSettingsLine)}));
  EXPECT_EQ(s[1].displayName + " " + s[1].fontPath, "Next /opt/corvelle/FontExt/NEXT.she");

  const std::string zeros = MakeHugeFile(dir, "zeros.kvf");
  EXPECT_LT(PeakMemoryGrowth([&] { ASSERT_TRUE(Load(zeros, s)); }), 16 * kMiB);
  EXPECT_TRUE(s[0] == (SelectionSlot{std::string(kMaxSettingsLine, '\0'), "***"}) && s.back() == SelectionSlot{});
  std::string lines;
  while (lines.size() < kMiB) lines += "Swiss 14\r\nC:\\FontExt\\SWIR14GR.she\r\n";
  ASSERT_TRUE(Load(MakeHugeFile(dir, "lines.kvf", lines), s));
  EXPECT_EQ(s.back().displayName + " " + s.back().fontPath, "Swiss 14 /opt/corvelle/FontExt/SWIR14GR.she");
}

// A truncated profile (CRLF line ends, 1 MB lines, no end to its last line) is read and saved
// whole; a huge one is refused unread, in bounded memory, and so is its save, which leaves the file.
TEST(HostileFile, TruncatedAndMegabyteLineProfilesAreSavedWholeAndAHugeOneIsNeverOverwritten) {
  const test::TempDir dir;
  const std::string path = dir.File("corvelle.ini");
  const std::string lines = "FontDialog001=" + kMegabyte + "\n" + std::string(kMiB, ';') + "\nFont001=x";
  Profile truncated(dir.Write("corvelle.ini", "[FontsAggiuntivi]\r\n" + lines));
  truncated.WriteString("FontsAggiuntivi", "Font002", kMegabyte);
  ASSERT_EQ(truncated.LoadError(), "");
  const Outcome saved = truncated.Save();
  ASSERT_TRUE(saved) << saved.message;
  EXPECT_TRUE(test::ReadFile(path) == "[FontsAggiuntivi]\n" + lines + "\nFont002=" + kMegabyte + "\n");
  ASSERT_EQ(MakeHugeFile(dir, "corvelle.ini"), path);
  std::unique_ptr<Profile> huge;
  EXPECT_LT(PeakMemoryGrowth([&] { huge = std::make_unique<Profile>(path); }), kMiB);
  EXPECT_EQ(huge->Save().message, "cannot read " + path + ": the file is larger than 4 MiB or 65536 lines" + kNotSaved);
  EXPECT_EQ(fs::file_size(path), 100u << 20);
}

// A FIFO without a writer would block an open: in place of an index, a settings file or a
// profile it is refused without waiting, and the profile is not replaced by it.
TEST(HostileFile, AFifoIsNoFileToReadOrReplace) {
  const test::TempDir dir;
  const std::string index = dir.File("FontExt/Index1252.shi"), kvf = dir.File("s.kvf"), ini = dir.File("c.ini");
  for (const std::string& path : {index, kvf, ini})
    ASSERT_TRUE(MakeFolders(ParentFolder(path)) && ::mkfifo(path.c_str(), 0644) == 0);
  const auto outcome = [&] {
    FontSelection s;
    Profile profile(ini);
    const Outcome saved = profile.Save();
    return std::to_string(LoadCatalogue(dir.Path(), 2).size()) + " / " + Load(kvf, s).message + ", " +
           s.back().displayName + " / " + (saved ? std::string("saved") : saved.message);
  };
  EXPECT_EQ(RunWithin(10, outcome), "0 / cannot open " + kvf + ": not a regular file, before / cannot read " +
                                        ini + ": not a regular file" + kNotSaved);
}

TEST(HostileFile, AFailedSettingsSaveLeavesTheOldFileAndNoTemporaryOneAndReadOnlyFilesStay) {
  const test::TempDir dir;
  const std::string path = dir.Write("selection.kvf", "Old\r\nold.she\r\n");
  const FontSelection selection{{{"New", "/opt/corvelle/FontExt/NEW.she"}}};
  // The file and how many files its folder holds.
  const auto folder = [&] { return test::ReadFile(path) + std::to_string(test::EntriesIn(dir.Path())); };
  EXPECT_EQ(RunWithin(10, [&] {
              const rlimit limit{100, 100};  // the write stops part-way, as on a full disk
              ::signal(SIGXFSZ, SIG_IGN);
              return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? SaveSettingsFile(selection, path).message : "no limit";
            }), "cannot write " + path + ": File too large");
  EXPECT_EQ(folder(), "Old\r\nold.she\r\n1");
  ASSERT_TRUE(::chmod(path.c_str(), 0604) == 0 && SaveSettingsFile(selection, path));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0604));
  EXPECT_EQ(folder(), SerializeSettings(selection) + "1");
  // Replacing needs only the folder's permission, yet a read-only settings file or profile stays.
  const std::string profile = dir.Write("corvelle.ini", "[S]\nK=0\n");
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777) + ::chmod(path.c_str(), 0444) + ::chmod(profile.c_str(), 0444), 0);
  EXPECT_EQ(test::RunUnprivileged([&] { return !SaveSettingsFile({}, path) && !Profile(profile).Save(); }), 1);
  EXPECT_EQ(folder() + test::ReadFile(profile), SerializeSettings(selection) + "2[S]\nK=0\n");
}

// Every save of the profile creates one temporary file: a child saves two large profiles in turn,
// the first of them over the other, and is killed with SIGKILL just after its first temporary
// file appears.
TEST(ProfileCrash, AKilledSaveLeavesTheOldOrTheNewProfileWhole) {
  const test::TempDir dir;
  Profile profile(dir.File("corvelle.ini"));
  // Sets the display name of position 1 to 512 KiB of `c` and saves: the text that is saved.
  const auto save = [&](char c) {
    profile.WriteString("FontsAggiuntivi", "FontDialog001", std::string(512 * 1024, c));
    profile.Save();
    return profile.Serialize();
  };
  const std::string newText = save('b'), oldText = save('a');
  for (int round = 0; round < 24; ++round) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    for (int n = test::ReadFile(profile.Path()) == oldText ? 0 : 1; child == 0; ++n) save("ba"[n % 2]);
    pollfd created{watch, POLLIN, 0};
    const int ready = ::poll(&created, 1, 10000);
    int status = 0;
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ::close(watch);
    ASSERT_TRUE(ready == 1 && WIFSIGNALED(status)) << "no save began, status " << status;
    const std::string text = test::ReadFile(profile.Path());
    ASSERT_TRUE(text == oldText || text == newText) << "round " << round << ": " << text.size() << " bytes";
  }
}

TEST(FuzzReplay, EverySavedInputAndAMegabyteOfGarbageKeepTheTargetsProperties) {
  const std::pair<const char*, int (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"index", fuzz::FuzzIndex}, {"settings", fuzz::FuzzSettings},    {"profile", fuzz::FuzzProfile},
      {"image", fuzz::FuzzImage}, {"echo_reply", fuzz::FuzzEchoReply}, {"stream_parser", fuzz::FuzzStreamParser},
      {"history", fuzz::FuzzHistory}};
  for (const auto& [name, run] : targets) {
    // Garbage: an index gives an entry of fixed widths per whole record, a settings file stays
    // within its line cap, and every value of a profile survives a save.
    std::vector<std::pair<std::string, std::string>> inputs = {{"garbage", Garbage(1 << 20, 7)}};
    for (const auto& file : fs::recursive_directory_iterator(fs::path(CORVELLE_SOURCE_DIR) / "fuzz"))
      if (file.is_regular_file() && file.path().parent_path().filename() == name)
        inputs.emplace_back(file.path().string(), test::ReadFile(file.path().string()));
    EXPECT_GT(inputs.size(), 1u) << "no saved inputs for " << name;
    for (const auto& [input, bytes] : inputs)
      EXPECT_NO_THROW(run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) << name << " " << input;
  }
}

constexpr std::int64_t kAreaStarts = 11'000;  // fake time at which area 1 starts, after its pause
constexpr std::size_t kLimit = 100'000;       // bytes a far end takes before its fault

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
  const std::string image = dir.Write("FontSet.SHC", Garbage(c.imageBytes, 5));
  std::optional<test::SimProcess> sim;
  ASSERT_TRUE(c.simulator.empty() || sim.emplace(c.simulator).Started());
  const std::string outcome = RunWithin(60, [&] {
    test::FakeHost host;
    host.realSleepMs = 50;
    PortSettings settings{.portName = c.port, .ipAddress = "127.0.0.1", .ipPort = sim ? sim->Port() : 0};
    PortEnvironment env{{}, [](const std::string& address) { return address == "127.0.0.1"; }, {}, {}};
    std::string path = dir.File("area.out");  // what a message names, shown as {path}
    std::function<ssize_t()> arrived;
    test::Bridge usb;  // takes kLimit bytes, then answers XOFF to every flow-control check
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
      usb.more = [&] { return test::Bridge::Block{std::string(1, usb.written < kLimit ? UsbBackend::kXon : UsbBackend::kXoff)}; };
      env.usbLibrary = [&] { return std::make_unique<test::FakeD2xx>(usb); };
      arrived = [&] { return static_cast<ssize_t>(usb.written); };
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
const char* const kPrinterClosed = "Failed | TCP/IP - The printer closed the connection.\nThe transfer was stopped.";
const char* const kLineGone = "Failed | Error writing to the device {path}:\nInput/output error";
const char* const kDiskFull = "Failed | Error writing output file {path}:\nFile too large";

// A printer that closes the connection half-way through an area so small that by then most of it
// already waits in the socket buffers, so that the loss shows only when the port closes (a close
// while the sender still writes is the port's own test).
INSTANTIATE_TEST_SUITE_P(
    Download, FaultInjection,
    testing::Values(FaultCase{"PrinterClosesWithTheAreaBuffered", "TCP/IP", kCloseAfter, 200000, false, kPrinterClosed},
                    FaultCase{"PrinterStopsReadingThenStop", "TCP/IP", {"--port", "0", "--stall"}, 0x200000, true, "Cancelled"},
                    FaultCase{"SerialLineHangsUp", "COM3:", {}, 0x200000, false, kLineGone},
                    FaultCase{"SerialLineInXoffThenStop", "COM3:", {}, 0x200000, true, "Cancelled | 12 bytes arrived"},
                    FaultCase{"UsbInXoffThenStop", "USB", {}, 0x200000, true, "Cancelled | 100364 bytes arrived"},
                    FaultCase{"DiskFillsDuringTheArea", "FILE:", {}, 0x200000, false, kDiskFull}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvelle
