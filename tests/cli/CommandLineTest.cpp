// SPDX-License-Identifier: MIT
// corvelle-cli as scripts use it: one version everywhere, -h on every command, --json documents
// with the text's fields, a reader that stops reading, control bytes that reach no output raw.
#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>

#include "CliKit.h"
#include "catalogue/CatalogueTesting.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::CliKit;
using test::Document;
using test::Finished;
using test::Lines;
using test::RawControl;

TEST(CliCommandLine, OneVersionAndHelpAsDashH) {
  CliKit kit;
  const Finished version = kit.Run({"--version"});
  EXPECT_EQ(std::tie(version.exit, version.out), std::make_tuple(0, std::string("corvelle-cli " CORVELLE_PROJECT_VERSION "\n")));
  test::TempDir dir;
  const test::ProgramRun sim = test::RunProgram(dir, {CORVELLE_BIN_DIR "/kerv-printer-sim", "--version"});
  EXPECT_EQ(sim.out, "kerv-printer-sim " CORVELLE_PROJECT_VERSION "\n");
  EXPECT_EQ(test::RunProgram(dir, {CORVELLE_BIN_DIR "/kerv-printer-sim", "-h"}).out,
            test::RunProgram(dir, {CORVELLE_BIN_DIR "/kerv-printer-sim", "--help"}).out);

  EXPECT_EQ(kit.Run({"-h"}).out, kit.Run({"--help"}).out);
  const std::vector<std::string> commands = test::Commands(kit);
  ASSERT_EQ(commands.size(), 9u);
  for (const std::string& command : commands) {
    const Finished help = kit.Run({command, "--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.out.rfind("Usage: corvelle-cli " + command, 0), 0u) << help.out;
    for (const std::vector<std::string>& args : {std::vector<std::string>{command, "-h"},
                                                 std::vector<std::string>{"-q", command, "--bogus-free", "-h"}}) {
      const Finished dashH = kit.Run(args);
      EXPECT_EQ(std::tie(dashH.exit, dashH.out, dashH.err), std::tie(help.exit, help.out, help.err)) << command;
    }
  }
  // After "--" a -h is a word like any other.
  EXPECT_EQ(kit.Run({"catalogue", "--", "-h"}).exit, 2);
}

TEST(CliCommandLine, JsonDocumentsCarryTheTextsFieldsWithoutPadding) {
  CliKit kit;
  using test::IndexRecord;
  using test::Padded;
  kit.dir.Write("program/FontExt/Index1252.shi", IndexRecord({"west0", "Arial", "Caf\xe9 zero", 0, 12, 0, 1, 0, 0}) +
                                                     IndexRecord({"west1", "Times", "Western one", 1, 14}));
  const std::string fontExt = kit.program + "/FontExt/";
  EXPECT_EQ(kit.Run({"catalogue", "--json"}).out,
            "{\"codepage\": 2, \"fonts\": [\n  {\"index\": 0, \"name\": \"Caf\xc3\xa9 zero\", \"file\": \"west0\", \"face\": "
            "\"Arial\", \"detail\": \"" + Padded("west0") + Padded("Arial") + "   0  120100\", \"path\": \"" + fontExt +
            "west0.she\"},\n  {\"index\": 1, \"name\": \"Western one\", \"file\": \"west1\", \"face\": \"Times\", "
            "\"detail\": \"" + Padded("west1") + Padded("Times") + "   1  140000\", \"path\": \"" + fontExt + "west1.she\"}\n]}\n");

  ASSERT_EQ(kit.Run({"selection", "add", "--at", "3", "1"}).exit, 0);
  const QJsonArray positions = Document(kit.Run({"selection", "show", "--json"}))["positions"].toArray();
  ASSERT_EQ(positions.size(), 112);
  EXPECT_EQ(positions[2].toObject(), (QJsonObject{{"position", 3}, {"name", "Western one"},
                                                  {"path", QString::fromStdString(fontExt + "west1.she")}}));
  EXPECT_TRUE(positions[0].toObject()["name"].isNull() && positions[111].toObject()["path"].isNull());
  EXPECT_EQ(kit.Run({"selection", "clear", "--json"}).exit, 2);

  // Texts are UTF-8: names read in their index file's code page, paths as the file system names them.
  const std::string folder = "\xD0\xA8\xD1\x80\xD0\xB8\xD1\x84\xD1\x82\xD1\x8B \xC3\xA9";
  kit.dir.Write(folder + "/FontExt/Index1251.shi", IndexRecord({"cyr", "Arial", "\xCF\xF0\xE8\xEC\xE5\xF0", 0, 12}));
  kit.program = kit.dir.File(folder);
  const Finished cyrillic = kit.Run({"catalogue", "--codepage", "1", "--json"});
  ASSERT_EQ(cyrillic.exit, 0) << cyrillic.err;
  EXPECT_EQ(cyrillic.out.find("\\u00"), std::string::npos) << cyrillic.out;
  const QJsonObject cyr = Document(cyrillic)["fonts"].toArray()[0].toObject();
  const QString cyrPath = QString::fromStdString(kit.program + "/FontExt/cyr.she");
  EXPECT_EQ(cyr["name"].toString(), QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80"));
  EXPECT_EQ(cyr["path"].toString(), cyrPath);
  ASSERT_EQ(kit.Run({"selection", "add", "--codepage", "1", "--at", "1", "0"}).exit, 0);
  EXPECT_EQ(Document(kit.Run({"selection", "show", "--json"}))["positions"].toArray()[0].toObject()["path"].toString(), cyrPath);

  // An image the builder made: the sections and totals of the text, in decimal.
  kit.SelectFont(5000);
  const std::string image = kit.dir.File("image.shc");
  ASSERT_EQ(kit.Run({"build", "--output", image}).exit, 0);
  const Finished report = kit.Run({"inspect", image});
  const QJsonObject inspected = Document(kit.Run({"inspect", "--json", image}));
  EXPECT_EQ(inspected["format"].toString().toStdString(), Lines(report.out)[0].substr(8));
  EXPECT_TRUE(inspected["consistent"].toBool() && inspected["problem"].isNull());
  const QJsonArray sections = inspected["sections"].toArray();
  ASSERT_EQ(sections.size(), 1);
  EXPECT_EQ(sections[0].toObject()["size"].toInteger(), 5100);
  const std::string total = "total: 1 sections, " + std::to_string(inspected["totalBytes"].toInteger()) + " bytes\n";
  EXPECT_TRUE(report.out.ends_with(total)) << report.out;
  kit.dir.Write("junk", "not an image");
  const Finished junk = kit.Run({"inspect", "--json", kit.dir.File("junk")});
  EXPECT_EQ(junk.exit, 1);
  EXPECT_FALSE(Document(junk)["consistent"].toBool() || Document(junk)["problem"].toString().isEmpty());
}

TEST(CliCommandLine, AReaderThatStopsEndsTheOutputQuietlyAndAFullDiskDoesNot) {
  CliKit kit;
  std::string all;
  for (int i = 0; i < 2000; ++i) all += test::IndexRecord({"all", "F", "All"});
  kit.dir.Write("program/FontExt/Index.shi", all);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"catalogue", "--codepage", "4"}, {"catalogue", "--codepage", "4", "--json"},
        {"selection", "show"}, {"selection", "show", "--json"}, {"history"}, {"--help"}, {"--version"}}) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);  // as `| head -1` does once it has its line
    const Finished closed = kit.RunWithStdout(args, fds[1]);
    ::close(fds[1]);
    EXPECT_EQ(std::tie(closed.exit, closed.err), std::make_tuple(0, std::string())) << args[0];
  }
  const int full = ::open("/dev/full", O_WRONLY);
  const Finished failed = kit.RunWithStdout({"catalogue", "--codepage", "4"}, full);
  ::close(full);
  EXPECT_EQ(std::tie(failed.exit, failed.err),
            std::make_tuple(1, std::string("corvelle-cli: cannot write the catalogue to standard output\n")));
}

TEST(CliCommandLine, ControlBytesFromFilesAndPathsReachNoOutputRaw) {
  CliKit kit;
  using test::IndexRecord;
  // A catalogue whose names hold ESC sequences, BEL, CR and DEL, and UTF-8 that stays as it is.
  kit.dir.Write("program/FontExt/Index1252.shi", IndexRecord({"west0", "Ar\x1b[2Jial", "Caf\xc3\xa9\a\rzero", 0, 12}) +
                                                     IndexRecord({"west1", "Times", "One\x7f\x1b]0;x\x07", 1, 14}));
  const Finished catalogue = kit.Run({"catalogue"});
  EXPECT_EQ(catalogue.exit, 0);
  EXPECT_EQ(RawControl(catalogue.out), "") << catalogue.out;
  EXPECT_NE(catalogue.out.find("Caf\xc3\xa9\\x07\\x0dzero"), std::string::npos) << catalogue.out;
  EXPECT_NE(catalogue.out.find("One\\x7f\\x1b]0;x\\x07"), std::string::npos) << catalogue.out;
  EXPECT_NE(kit.Run({"catalogue", "--json"}).out.find(R"(\u001b]0;x\u0007)"), std::string::npos);
  ASSERT_EQ(kit.Run({"selection", "add", "--at", "3", "1"}).exit, 0);
  const Finished selection = kit.Run({"selection", "show"});
  EXPECT_EQ(RawControl(selection.out), "") << selection.out;
  EXPECT_NE(selection.out.find("\\x1b]0;x"), std::string::npos) << selection.out;

  // A path named on the command line comes back in a message on stderr.
  const Finished inspect = kit.Run({"inspect", kit.dir.File("image\x1b[31m\r.shc")});
  EXPECT_EQ(inspect.exit, 1);
  EXPECT_EQ(RawControl(inspect.err), "") << inspect.err;
  EXPECT_NE(inspect.err.find("image\\x1b[31m\\x0d.shc"), std::string::npos) << inspect.err;

}

}  // namespace
}  // namespace corvelle
