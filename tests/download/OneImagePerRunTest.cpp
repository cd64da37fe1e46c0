// SPDX-License-Identifier: MIT
// One image per run, with corvelle-cli run as the built program: two downloads from one
// installation with two profiles each send their own image, a rebuild that meets a file-size
// limit leaves the previous image, and links planted at the image and scratch paths are replaced,
// never followed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "base/Paths.h"
#include "base/Profile.h"
#include "cli/CliKit.h"

namespace corvelle {
namespace {

using test::ReadFile;

class OneImagePerRun : public ::testing::Test {
 protected:
  // Makes `kit` use the test's installation with a profile of its own selecting one font whose
  // bytes depend on `seed`.
  void Select(test::CliKit& kit, const std::string& name, int seed, std::size_t dataBytes) {
    kit.program = program;
    std::string data(dataBytes, '\0');
    for (std::size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<char>((i * 7 + seed) % 253);
    Profile profile(kit.profile);
    profile.WriteString("FontsAggiuntivi", "Font001",
                        test::WriteFont(program, name, std::string(100, static_cast<char>('a' + seed)), data));
    EXPECT_TRUE(profile.Save());
  }

  test::CliKit a, b;
  const std::string program = a.program;
  std::string image = program + "/FontSet.SHC", scratch = program + "/fontheadkerv.sh";
};

TEST_F(OneImagePerRun, TwoDownloadsStartedTwoSecondsApartEachSendTheirOwnImage) {
  Select(a, "a", 1, 5000);
  Select(b, "b", 2, 7000);
  ASSERT_EQ(a.Run({"build", "--output", a.dir.File("a.shc")}).exit, 0);
  ASSERT_EQ(b.Run({"build", "--output", b.dir.File("b.shc")}).exit, 0);
  // Each download asks for a file at each of its two opens: the announcement, then the image.
  const auto download = [](test::CliKit& kit) {
    return std::async(std::launch::async, [&kit] {
      return kit.Run({"download", "--port", "FILE", "--output", kit.dir.File("1"), "--output", kit.dir.File("2")});
    });
  };
  auto first = download(a);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  auto second = download(b);
  EXPECT_EQ(first.get().exit, 0);
  EXPECT_EQ(second.get().exit, 0);
  EXPECT_TRUE(ReadFile(a.dir.File("2")) == ReadFile(a.dir.File("a.shc")));
  EXPECT_TRUE(ReadFile(b.dir.File("2")) == ReadFile(b.dir.File("b.shc")));
  EXPECT_EQ(ReadFile(a.dir.File("1")), "?Z:&" + std::to_string(ReadFile(a.dir.File("a.shc")).size()) + "\n");
}

TEST_F(OneImagePerRun, AFailedRebuildKeepsThePreviousImageAndPlantedLinksAreNotFollowed) {
  test::CliKit& small = a;
  test::CliKit& large = b;
  Select(small, "small", 1, 3000);
  Select(large, "large", 2, 200000);
  ASSERT_EQ(small.Run({"build"}).exit, 0);
  const std::string previous = ReadFile(image);
  // A file-size limit, as a full disk: the build is not killed (SIGXFSZ at its default) but fails.
  const test::Finished limited = large.Run({"build"}, {}, SIGINT, {"/usr/bin/prlimit", "--fsize=65536:65536", "--"});
  EXPECT_EQ(limited.exit, 1);
  EXPECT_TRUE(limited.err.starts_with("Error writing output file\n" + image)) << limited.err;
  EXPECT_TRUE(ReadFile(image) == previous);
  // The image, the scratch file and FontExt: no temporary file is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(program), std::filesystem::directory_iterator()), 3);

  const std::string victim = a.dir.Write("victim", "another user's file");
  ASSERT_TRUE(::unlink(image.c_str()) == 0 && ::unlink(scratch.c_str()) == 0);
  ASSERT_TRUE(::symlink(victim.c_str(), image.c_str()) == 0 && ::symlink(victim.c_str(), scratch.c_str()) == 0);
  ASSERT_EQ(small.Run({"build"}).exit, 0);
  EXPECT_EQ(ReadFile(victim), "another user's file");
  EXPECT_TRUE(ReadFile(image) == previous);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(scratch)));
}

}  // namespace
}  // namespace corvelle
