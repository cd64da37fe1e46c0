// corvelle-cli build and inspect, run as the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include "FontSetKit.h"
#include "fontset/FontSetFormat.h"

extern char** environ;

namespace corvelle::test {
namespace {

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

CliRun RunCli(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), CORVELLE_BIN_DIR "/corvelle-cli");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, dir.File("cli.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, dir.File("cli.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  CliRun run;
  pid_t pid = 0;
  int status = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 && waitpid(pid, &status, 0) == pid &&
      WIFEXITED(status)) {
    run.code = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadFile(dir.File("cli.out"));
  run.err = ReadFile(dir.File("cli.err"));
  return run;
}

class FontSetCli : public testing::Test {
 protected:
  void SetUp() override { kit.profile = Profile(kit.dir.File("corvelle.ini")); }
  CliRun Run(std::vector<std::string> args) {
    EXPECT_TRUE(kit.profile.Save());
    args.insert(args.begin(), {"--program-folder", kit.ProgramFolder(), "--profile", kit.profile.Path()});
    return RunCli(kit.dir, args);
  }
  FontSetKit kit;
};

TEST_F(FontSetCli, BuildPrintsTheImagePathOrTheMessageTheWindowWouldShow) {
  CliRun run = Run({"build"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "No additional fonts selected\n");
  EXPECT_EQ(run.out, "");

  kit.AddWorkedExampleFonts();
  run = Run({"build"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, kit.ImagePath() + "\n");
  EXPECT_EQ(ReadFile(kit.ImagePath()).size(), 0x1008u);

  const std::string output = kit.dir.File("legacy.shf");
  run = Run({"build", "--legacy", "--output", output});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, output + "\n");
  EXPECT_EQ(ReadFile(output).size(), 0x8F8u);

  kit.AddFont(3, "big", {0x10, IMAGE_LIMIT, kNone, kNone});
  run = Run({"build"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "Selected fonts require too much memory\nTask cancelled.\n");
  EXPECT_EQ(Run({"build", "extra"}).code, 2);
}

TEST_F(FontSetCli, InspectListsTheSectionsAndReportsTheFirstInconsistency) {
  kit.AddWorkedExampleFonts();
  ASSERT_EQ(Run({"build"}).code, 0);
  CliRun run = Run({"inspect", kit.ImagePath()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "format: FontSet.SHC\n"
            "file size: 4104 (0x1008)\n"
            "header size: 2064 (0x810)\n"
            "word at 0x800: 0x00000000\n"
            "table count: 112\n"
            "tag: KRV1D3 22 11\n"
            "position  part  offset      size\n"
            "       1     0  0x00000810  1100\n"
            "       2     0  0x00000C5C  580\n"
            "       2     1  0x00000EA0  360\n"
            "total: 3 sections, 2040 bytes\n");

  WriteFile(kit.ImagePath(), ReadFile(kit.ImagePath()).substr(0, 0xE00));
  run = Run({"inspect", kit.ImagePath()});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "position 2 part 1 at 0xEA0 lies beyond the end of the file (0xE00)\n");
  EXPECT_EQ(Run({"inspect"}).code, 2);
}

}  // namespace
}  // namespace corvelle::test
