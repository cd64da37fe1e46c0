// SPDX-License-Identifier: MIT
// Every example the user is shown runs as shown: the last line of each command's --help, the
// EXAMPLES of the manual page and the command blocks of the README's command-line sections, each
// against a profile and program folder of the test's own, the simulator standing for a printer.
// An example that would reach a printer other than one on 127.0.0.1 or a FILE port fails the
// test without being run.
#include <algorithm>

#include "CliKit.h"
#include "ports/PortSettings.h"
#include "catalogue/CatalogueTesting.h"
#include "support/Unprivileged.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using test::CliKit;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The example lines of each command's --help: the text after "Example: ", with its continuations.
std::string HelpExamples(CliKit& kit) {
  std::string script;
  for (const std::string& command : test::Commands(kit)) {
    const std::string help = kit.Run({command, "--help"}).out;
    const std::size_t at = help.rfind("\nExample: ");
    EXPECT_NE(at, std::string::npos) << help;
    if (at != std::string::npos) script += help.substr(at + 10);
  }
  return script;
}

// The lines between .nf and .fi of the manual page's EXAMPLES, without their roff escapes; and
// the ```sh blocks of the README's sections `titles`.
std::string ManualExamples() {
  const std::string page = test::ReadFile(CORVELLE_SOURCE_DIR "/packaging/corvelle-cli.1.in");
  std::string script;
  bool inside = false;
  for (const std::string& line : test::Lines(page.substr(page.find("\n.SH EXAMPLES")))) {
    if (line.starts_with(".SH SEE")) break;
    if (line == ".nf" || line == ".fi") inside = line == ".nf";
    else if (inside && !line.starts_with(".")) script += Replaced(Replaced(line, "\\-", "-"), "\\(dq", "\"") + "\n";
  }
  return script;
}
std::string ReadmeExamples(const std::vector<std::string>& titles) {
  std::string script;
  bool section = false, block = false;
  for (const std::string& line : test::Lines(test::ReadFile(CORVELLE_SOURCE_DIR "/README.md"))) {
    if (line.starts_with("## ")) section = std::find(titles.begin(), titles.end(), line.substr(3)) != titles.end();
    else if (section && line == "```sh") block = true;
    else if (block && line == "```") block = false;
    else if (block) script += Replaced(line, "build/default/bin/", "") + "\n";
  }
  return script;
}

// Runs `examples` with bash in a folder of its own, against three Win1252 fonts with their
// fragments and a profile whose printer is the simulator at `port`: corvelle-cli is the built one
// with the kit's folders, kerv-printer-sim lines are left out and port 4001 is `port`.
test::ProgramRun RunExamples(CliKit& kit, int port, const std::string& examples) {
  std::string index;
  for (const char* base : {"ex0", "ex1", "ex2"}) {
    index += test::IndexRecord({base, "Arial", base});
    test::WriteFont(kit.program, base, std::string(100, 'h'), std::string(2000, 'd'));
  }
  kit.dir.Write("program/FontExt/Index1252.shi", index);
  kit.dir.Write("config/corvelle.ini", "[" + std::string(kPortSection) + "]\nIPaddress=127.0.0.1\nIPport=" +
                                           std::to_string(port) + "\n");
  const std::string work = kit.dir.File("work"), home = kit.dir.File("home");
  std::string script = "set -e\nmkdir -p " + work + " " + home + "\ncd " + work + "\nexport HOME=" + home + " " +
                       kit.environment.front() + "\ncorvelle-cli() { " + CORVELLE_BIN_DIR "/corvelle-cli --program-folder " +
                       kit.program + " --profile " + kit.profile + " \"$@\"; }\n";
  for (std::string line : test::Lines(examples)) {
    line = Replaced(line, "4001", std::to_string(port));
    if (line.empty() || line.starts_with("#") || line.starts_with("kerv-printer-sim")) continue;
    const auto has = [&line](const char* part) { return line.find(part) != std::string::npos; };
    if (((has(" download") || has(" set-com") || has(" ping")) && !has("127.0.0.1") && !has("--port FILE")) ||
        (has(" scan ") && !has(" 127."))) {
      ADD_FAILURE() << "an example that may reach another printer than one on 127.0.0.0/8: " << line;
      return {};
    }
    script += line + "\n";
  }
  return test::RunProgram(kit.dir, {"/bin/bash", "-c", script});
}

// REAL TIME: four downloads of about 22 s, three of them side by side.
TEST(CliExamples, EveryExampleShownRunsAsShown) {
  test::SimProcess sim({"--port", "0", "--printers", "3"});
  ASSERT_EQ(sim.Ports().size(), 3u) << "the simulator's three printers";
  CliKit kits[3];
  const std::string scripts[3] = {HelpExamples(kits[0]), ManualExamples(),
                                  ReadmeExamples({"corvelle-cli", "Trying Corvelle without a printer"})};
  std::vector<std::future<test::ProgramRun>> results;
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_FALSE(scripts[i].empty()) << i;
    // Each its own printer, so that no download waits for another.
    results.push_back(std::async(std::launch::async, [&, i] { return RunExamples(kits[i], sim.Ports()[i], scripts[i]); }));
  }
  for (std::size_t i = 0; i < 3; ++i) {
    const test::ProgramRun run = results[i].get();
    EXPECT_EQ(run.exit, 0) << scripts[i] << "\n" << run.err;
  }
}

}  // namespace
}  // namespace corvelle
