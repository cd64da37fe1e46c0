// SPDX-License-Identifier: MIT
// The window program's command line: a .kvf file to load, --help and --version (which need no
// display), Qt's own options left to Qt, usage errors; and the program fonts it registers at start.
#include "AppTesting.h"
#include "app/CommandLine.h"
#include "app/FontRegistration.h"

#ifndef _WIN32
#include <sys/wait.h>

#include <cstdlib>
#endif

namespace corvelle {
namespace {

using Action = WindowArguments::Action;

WindowArguments Parse(QStringList args, bool early = false) {
  args.prepend(QStringLiteral("corvelle"));
  return ParseWindowArguments(args, early);
}

TEST(WindowCommandLine, AFileHelpVersionAndUsageErrors) {
  EXPECT_EQ(Parse({}).action, Action::Run);
  EXPECT_EQ(Parse({"office.kvf"}).settingsFile, "office.kvf");
  EXPECT_EQ(Parse({"--", "-odd.kvf"}).settingsFile, "-odd.kvf");
  for (const char* help : {"-h", "--help"}) EXPECT_EQ(Parse({help, "x.kvf"}).action, Action::Help) << help;
  for (const char* version : {"-v", "--version"}) EXPECT_EQ(Parse({"x.kvf", version}).action, Action::Version) << version;
  for (const QStringList& bad : {QStringList{"a.kvf", "b.kvf"}, {"--bogus"}}) EXPECT_EQ(Parse(bad).action, Action::UsageError);
  // Before QApplication has taken its options out, only help and version are answered: Qt's
  // single-dash words are never read as bundles of letters ("-reverse" holds a "v").
  EXPECT_EQ(Parse({"-platform", "offscreen", "-reverse", "a.kvf"}, true).action, Action::Run);
  EXPECT_EQ(Parse({"-platform", "offscreen", "--version"}, true).action, Action::Version);
}

#ifndef _WIN32
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
  EXPECT_TRUE(status == 0 && help.starts_with("Usage: corvelle [OPTIONS] [FILE.kvf]\n")) << help;
}
#endif

// A program folder whose "fonts" folder holds the first `count` program fonts (copies of a DejaVu
// font under the program's names) and, when `garbage`, a non-font under the next name.
TEST(FontRegistration, OneMissingOrUnusableIsReportedOnceAndAllSevenSayNothing) {
  const std::string font = test::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  ASSERT_FALSE(font.empty());
  for (const auto& [count, garbage] : {std::pair{7, false}, {6, false}, {6, true}}) {
    const test::TempDir folder;
    for (int i = 0; i < count; ++i) folder.Write("fonts/" + std::string(kProgramFonts[i]), font);
    if (garbage) folder.Write("fonts/" + std::string(kProgramFonts[count]), "not a font");
    test::FakeHost host;
    EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), count);
    ASSERT_EQ(host.messages.size(), count == 7 ? 0u : 1u) << garbage;
    for (const auto& message : host.messages) EXPECT_EQ(message.text, "KERV - Font loading error");
  }
}

}  // namespace
}  // namespace corvelle
