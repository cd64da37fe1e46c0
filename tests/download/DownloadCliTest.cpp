// corvelle-cli download and set-com, run as the built program against a profile, fragments and
// devices made for each test: exit statuses, what reaches the device, and the messages on stderr.
// One test runs with real time (22 s of pauses) to measure the CPU the process uses meanwhile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "DownloadKit.h"
#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PtyPair.h"
#include "resources/Strings.h"

extern char** environ;

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

struct Finished {
  int exit = -1;
  std::string err;
  double cpuSeconds = 0;  // user + system time of the process
};

class DownloadCli : public ::testing::Test {
 protected:
  DownloadCli() : profile(dir.File("corvelle.ini")) {}

  // Runs corvelle-cli with the test's program folder and profile. `interruptWhen`, polled every
  // 5 ms while it runs, sends Ctrl-C (SIGINT) once it answers true.
  Finished Run(std::vector<std::string> args, const std::function<bool()>& interruptWhen = {}) {
    EXPECT_TRUE(profile.Save());
    args.insert(args.begin(), {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", Program(), "--profile",
                               profile.Path()});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string errPath = dir.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Finished run;
    pid_t pid = -1;
    const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned) return run;
    int status = 0;
    rusage usage{};
    bool interrupted = !interruptWhen;
    while (::wait4(pid, &status, interrupted ? 0 : WNOHANG, &usage) == 0) {
      if (interruptWhen()) {
        ::kill(pid, SIGINT);
        interrupted = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.err = ReadFile(errPath);
    return run;
  }

  std::string Program() const { return dir.File("program"); }
  void SelectOneFont(std::size_t dataBytes) {
    profile.WriteString("FontsAggiuntivi", "Font001", test::WriteFontFragments(dir, "a", 100, dataBytes));
  }
  static std::string Line(int id) { return std::string(LoadStr(id)) + "\n"; }

  TempDir dir;
  Profile profile;
};

TEST_F(DownloadCli, UsageErrorsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"download", "extra"},
           {"download", "--ip-port", "x"},
           {"download", "--ip-port", "70000"},
           {"download", "--port", ""},
           {"download", "--colour"},
           {"set-com", "--speed", "1", "--parity", "0", "--data-bits", "1"},
           {"set-com", "--speed", "6", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"},
           {"set-com", "--speed", "1", "--parity", "3", "--data-bits", "1", "--stop-bits", "0"},
           {"set-com", "--speed", "1", "--parity", "0", "--data-bits", "-1", "--stop-bits", "0"},
           {"set-com", "--speed", "fast", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"},
       }) {
    EXPECT_EQ(Run(args).exit, 2) << args[0] << " " << args[1];
  }
}

TEST_F(DownloadCli, SetComSendsTheCommandAtTheStoredLineAndStoresNothing) {
  test::PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  pty.StartReading();
  profile.WriteString(kPortSection, "Port", "COM4:");
  profile.WriteString(kDevicesSection, "COM4", pty.SlavePath());
  ASSERT_TRUE(profile.Save());
  const std::string before = ReadFile(profile.Path());

  const Finished run = Run({"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"});
  EXPECT_EQ(run.exit, 0);
  EXPECT_EQ(pty.ReceiveAtLeast(13), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(run.err, Line(IDS_WAIT_AUTORESTART));
  EXPECT_EQ(ReadFile(profile.Path()), before);
}

TEST_F(DownloadCli, SetComOnADeviceThatCannotBeOpenedExitsWithOne) {
  profile.WriteString(kDevicesSection, "COM1", dir.File("no-such-tty"));
  const Finished run = Run({"set-com", "--speed", "2", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"});
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.err, Line(IDS_DEVICE_NOT_OPEN));
}

TEST_F(DownloadCli, FailedBuildSendsNothing) {
  const Finished run = Run({"download", "--port", "FILE", "--output", dir.File("out")});
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.err, Line(IDS_NO_FONTS_SELECTED));
  EXPECT_FALSE(test::FileExists(dir.File("out")));
}

TEST_F(DownloadCli, FileOpenWithoutAnOutputLeftCountsAsCancelled) {
  SelectOneFont(1000);
  const Finished run = Run({"download", "--port", "FILE"});
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(test::FileExists(DefaultFontSetPath(Program())));
}

TEST_F(DownloadCli, CtrlCInThePauseStopsTheDownload) {
  SelectOneFont(1000);
  const std::string first = dir.File("first.out"), second = dir.File("second.out");
  const Finished run = Run({"download", "--port", "FILE", "--output", first, "--output", second},
                           [&] { return ReadFile(first) == "?Z:&3164\n"; });
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.err.find("Download stopped."), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(std::string(LoadStr(IDS_END_OF_PROCESS))), std::string::npos) << run.err;
  EXPECT_FALSE(test::FileExists(second));
}

// REAL TIME: about 22 s (the 11-s pause and the 11-s final wait). A pause that spins instead of
// sleeping costs a second of CPU within the first second.
TEST_F(DownloadCli, RealTimeLegacyDownloadSleepsThroughItsPauses) {
  SelectOneFont(300000);
  const std::string first = dir.File("first.out"), second = dir.File("second.out");
  const Finished run = Run({"download", "--legacy", "--port", "FILE", "--output", first, "--output", second});
  ASSERT_EQ(run.exit, 0) << run.err;
  const std::string image = ReadFile(DefaultLegacyFontSetPath(Program()));
  ASSERT_EQ(image.size(), 0x100u + 100 + 300000);
  EXPECT_EQ(ReadFile(first), "?Z:&300356\n");
  EXPECT_TRUE(test::SameBytes(ReadFile(second), image));

  // The messages the window shows, in order, with the steps between them.
  std::size_t at = 0;
  for (const std::string& line :
       {Line(IDS_UPGRADING), std::string("Announcing the image (300356 bytes)\n"), std::string("Waiting 11 s\n"),
        std::string("Sending the image (300356 bytes)\n"), std::string("100%\n"), Line(IDS_END_OF_PROCESS),
        Line(IDS_WAIT_AUTORESTART)}) {
    const std::size_t found = run.err.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in:\n" << run.err;
    at = found + line.size();
  }
  EXPECT_LT(run.cpuSeconds, 1.0);
}

}  // namespace
}  // namespace corvelle
