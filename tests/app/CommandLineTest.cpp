// SPDX-License-Identifier: MIT
// The window program run with --help and --version where there is no display.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace corvelle {
namespace {

TEST(WindowCommandLine, HelpAndVersionNeedNoDisplay) {
  test::TempDir dir;
  const std::string program = CORVELLE_BIN_DIR "/corvelle";
  const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
  const auto run = [&](const std::string& args) {
    const std::string out = dir.File("out");
    const int status = std::system((noDisplay + program + " " + args + " >" + out + " 2>&1").c_str());
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(out));
  };
  EXPECT_EQ(run("--version"), std::make_pair(0, std::string("corvelle " CORVELLE_PROJECT_VERSION "\n")));
  const auto [status, help] = run("--help");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(help.rfind("Usage: corvelle [OPTIONS] [FILE.kvf]\n", 0), 0u) << help;
}

}  // namespace
}  // namespace corvelle
