// SPDX-License-Identifier: MIT
// One image per run, with corvelle-cli run as the built program: two downloads from one
// installation with two profiles each send their own image, a rebuild that meets a file-size
// limit leaves the previous image, and links planted at the image and scratch paths are replaced,
// never followed.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/Paths.h"
#include "base/Profile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using test::ReadFile;

class OneImagePerRun : public ::testing::Test {
 protected:
  // A profile in `name`.ini selecting one font whose bytes depend on `seed`.
  std::string MakeProfile(const std::string& name, int seed, std::size_t dataBytes) {
    std::string data(dataBytes, '\0');
    for (std::size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<char>((i * 7 + seed) % 253);
    Profile profile(dir.File(name + ".ini"));
    profile.WriteString("FontsAggiuntivi", "Font001",
                        test::WriteFont(program, name, std::string(100, static_cast<char>('a' + seed)), data));
    EXPECT_TRUE(profile.Save());
    return profile.Path();
  }
  std::vector<std::string> Cli(const std::string& profile, std::vector<std::string> args) const {
    args.insert(args.begin(), {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", program, "--profile", profile});
    return args;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  test::TempDir dir;
  std::string program = dir.File("program");
  std::string image = dir.File("program/FontSet.SHC"), scratch = dir.File("program/fontheadkerv.sh");
};

TEST_F(OneImagePerRun, TwoDownloadsStartedTwoSecondsApartEachSendTheirOwnImage) {
  ASSERT_TRUE(MakeFolders(program));
  const std::string a = MakeProfile("a", 1, 5000), b = MakeProfile("b", 2, 7000);
  ASSERT_EQ(test::RunProgram(dir, Cli(a, {"build", "--output", dir.File("a.shc")})).exit, 0);
  ASSERT_EQ(test::RunProgram(dir, Cli(b, {"build", "--output", dir.File("b.shc")})).exit, 0);
  // Each download asks for a file at each of its two opens: the announcement, then the image.
  const pid_t first = test::Spawn(
      Cli(a, {"download", "--port", "FILE", "--output", dir.File("a.1"), "--output", dir.File("a.2")}), -1,
      dir.File("a.err"));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const pid_t second = test::Spawn(
      Cli(b, {"download", "--port", "FILE", "--output", dir.File("b.1"), "--output", dir.File("b.2")}), -1,
      dir.File("b.err"));
  EXPECT_EQ(Wait(first), 0) << ReadFile(dir.File("a.err"));
  EXPECT_EQ(Wait(second), 0) << ReadFile(dir.File("b.err"));
  EXPECT_TRUE(ReadFile(dir.File("a.2")) == ReadFile(dir.File("a.shc")));
  EXPECT_TRUE(ReadFile(dir.File("b.2")) == ReadFile(dir.File("b.shc")));
  EXPECT_EQ(ReadFile(dir.File("a.1")), "?Z:&" + std::to_string(ReadFile(dir.File("a.shc")).size()) + "\n");
}

TEST_F(OneImagePerRun, AFailedRebuildKeepsThePreviousImageAndPlantedLinksAreNotFollowed) {
  ASSERT_TRUE(MakeFolders(program));
  const std::string small = MakeProfile("small", 1, 3000), large = MakeProfile("large", 2, 200000);
  ASSERT_EQ(test::RunProgram(dir, Cli(small, {"build"})).exit, 0);
  const std::string previous = ReadFile(image);
  // A file-size limit, as a full disk: the build is not killed (SIGXFSZ at its default) but fails.
  const int code = test::RunInChild([&] {
    const rlimit limit{64 * 1024, 64 * 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    const test::ProgramRun run = test::RunProgram(dir, Cli(large, {"build"}));
    return run.exit == 1 && run.err.starts_with("Error writing output file\n" + image) ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(ReadFile(image) == previous);
  // The image, the scratch file and FontExt: no temporary file is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program), std::filesystem::directory_iterator()), 3);

  const std::string victim = dir.Write("victim", "another user's file");
  ASSERT_TRUE(::unlink(image.c_str()) == 0 && ::unlink(scratch.c_str()) == 0);
  ASSERT_TRUE(::symlink(victim.c_str(), image.c_str()) == 0 && ::symlink(victim.c_str(), scratch.c_str()) == 0);
  ASSERT_EQ(test::RunProgram(dir, Cli(small, {"build"})).exit, 0);
  EXPECT_EQ(ReadFile(victim), "another user's file");
  EXPECT_TRUE(ReadFile(image) == previous);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(scratch)));
}

}  // namespace
}  // namespace corvelle
