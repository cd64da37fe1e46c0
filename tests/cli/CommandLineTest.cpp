// SPDX-License-Identifier: MIT
// corvelle-cli as scripts use it: one version everywhere, -h on every command, --json documents
// with the text's fields, a reader that stops reading, control bytes that reach no output raw;
// and download --json: one document on stdout for one printer or many, with every attempt's
// target, result, message and detail, the image bytes sent with their digest, and the time
// taken, the exit status as without it.
#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>

#include "CliKit.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "catalogue/CatalogueTesting.h"
#include "fontset/FontSetBuilder.h"
#include "support/LoopbackPrinter.h"
#include "support/Unprivileged.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using namespace test;

std::string Text(const QJsonObject& object, const char* key) { return object[key].toString().toStdString(); }

TEST(CliCommandLine, OneVersionAndHelpAsDashH) {
  CliKit kit;
  const auto sim = [&kit](const char* arg) { return RunProgram(kit.dir, {CORVELLE_BIN_DIR "/kerv-printer-sim", arg}).out; };
  EXPECT_EQ(kit.Run({"--version"}).out + sim("--version"),
            "corvelle-cli " CORVELLE_PROJECT_VERSION "\nkerv-printer-sim " CORVELLE_PROJECT_VERSION "\n");
  EXPECT_EQ(sim("-h"), sim("--help"));
  EXPECT_EQ(kit.Run({"-h"}).out, kit.Run({"--help"}).out);
  const std::vector<std::string> commands = test::Commands(kit);
  ASSERT_EQ(commands.size(), 9u);
  for (const std::string& command : commands) {
    const Finished help = kit.Run({command, "--help"});
    EXPECT_EQ(std::make_pair(help.exit, help.out.rfind("Usage: corvelle-cli " + command, 0)), std::make_pair(0, 0ul))
        << help.out;
    for (const Finished& dashH : {kit.Run({command, "-h"}), kit.Run({"-q", command, "--bogus-free", "-h"})})
      EXPECT_EQ(std::tie(dashH.exit, dashH.out, dashH.err), std::tie(help.exit, help.out, help.err)) << command;
  }
  // After "--" a -h is a word like any other.
  EXPECT_EQ(kit.Run({"catalogue", "--", "-h"}).exit, 2);

  // JSON documents carry the text's fields without padding.
  // Texts are UTF-8: names read in their index file's code page, paths as the file system names them.
  const std::string folder = "\xD0\xA8\xD1\x80\xD0\xB8\xD1\x84\xD1\x82\xD1\x8B \xC3\xA9";
  kit.program = kit.dir.File(folder);
  kit.dir.Write(folder + "/FontExt/Index1252.shi", IndexRecord({"west0", "Arial", "Caf\xe9 zero", 0, 12, 0, 1, 0, 0}) +
                                                      IndexRecord({"west1", "Times", "Western one", 1, 14}));
  kit.dir.Write(folder + "/FontExt/Index1251.shi", IndexRecord({"cyr", "Arial", "\xCF\xF0\xE8\xEC\xE5\xF0", 0, 12}));
  const std::string fontExt = kit.program + "/FontExt/";
  EXPECT_EQ(kit.Run({"catalogue", "--json"}).out,
            "{\"codepage\": 2, \"fonts\": [\n  {\"index\": 0, \"name\": \"Caf\xc3\xa9 zero\", \"file\": \"west0\", \"face\": "
            "\"Arial\", \"detail\": \"" + Padded("west0") + Padded("Arial") + "   0  120100\", \"path\": \"" + fontExt +
            "west0.she\"},\n  {\"index\": 1, \"name\": \"Western one\", \"file\": \"west1\", \"face\": \"Times\", "
            "\"detail\": \"" + Padded("west1") + Padded("Times") + "   1  140000\", \"path\": \"" + fontExt + "west1.she\"}\n]}\n");
  const QJsonArray cyrillic = Document(kit.Run({"catalogue", "--codepage", "1", "--json"}))["fonts"].toArray();
  EXPECT_EQ(Text(cyrillic[0].toObject(), "name"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80");

  ASSERT_EQ(kit.Run({"selection", "add", "--at", "3", "1"}).exit, 0);
  const QJsonArray positions = Document(kit.Run({"selection", "show", "--json"}))["positions"].toArray();
  ASSERT_EQ(positions.size(), 112);
  EXPECT_EQ(positions[2].toObject(), (QJsonObject{{"position", 3}, {"name", "Western one"},
                                                  {"path", QString::fromStdString(fontExt + "west1.she")}}));
  EXPECT_TRUE(positions[0].toObject()["name"].isNull() && positions[111].toObject()["path"].isNull());
  EXPECT_EQ(kit.Run({"selection", "clear", "--json"}).exit, 2);

  // An image the builder made: the sections and totals of the text, in decimal.
  kit.SelectFont(5000);
  const std::string image = kit.dir.File("image.shc");
  ASSERT_EQ(kit.Run({"build", "--output", image}).exit, 0);
  const Finished report = kit.Run({"inspect", image});
  const QJsonObject inspected = Document(kit.Run({"inspect", "--json", image}));
  EXPECT_EQ(inspected["format"].toString().toStdString(), Lines(report.out)[0].substr(8));
  EXPECT_TRUE(inspected["consistent"].toBool() && inspected["problem"].isNull());
  const QJsonArray sections = inspected["sections"].toArray();
  EXPECT_EQ(sections.size() == 1 ? sections[0].toObject()["size"].toInteger() : sections.size(), 5100);
  const std::string total = "total: 1 sections, " + std::to_string(inspected["totalBytes"].toInteger()) + " bytes\n";
  EXPECT_TRUE(report.out.ends_with(total)) << report.out;
  const Finished junk = kit.Run({"inspect", "--json", kit.dir.Write("junk", "not an image")});
  EXPECT_FALSE(junk.exit != 1 || Document(junk)["consistent"].toBool() || Document(junk)["problem"].toString().isEmpty());
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

  // Control bytes from files and paths reach no output raw.
  // A catalogue whose names hold ESC sequences, BEL, CR and DEL, and UTF-8 that stays as it is;
  // a path named on the command line comes back in a message on stderr.
  kit.dir.Write("program/FontExt/Index1252.shi", IndexRecord({"west0", "Ar\x1b[2Jial", "Caf\xc3\xa9\a\rzero", 0, 12}) +
                                                     IndexRecord({"west1", "Times", "One\x7f\x1b]0;x\x07", 1, 14}));
  ASSERT_EQ(kit.Run({"selection", "add", "--at", "3", "1"}).exit, 0);
  for (const auto& [args, exit, shown] : std::vector<std::tuple<std::vector<std::string>, int, std::string>>{
           {{"catalogue"}, 0, "Caf\xc3\xa9\\x07\\x0dzero"}, {{"catalogue"}, 0, "One\\x7f\\x1b]0;x\\x07"},
           {{"catalogue", "--json"}, 0, R"(\u001b]0;x\u0007)"}, {{"selection", "show"}, 0, "\\x1b]0;x"},
           {{"inspect", kit.dir.File("image\x1b[31m\r.shc")}, 1, "image\\x1b[31m\\x0d.shc"}}) {
    const Finished run = kit.Run(args);
    const std::string& text = exit == 0 ? run.out : run.err;
    EXPECT_EQ(run.exit, exit) << args[0];
    EXPECT_EQ(RawControl(text), "") << text;
    EXPECT_NE(text.find(shown), std::string::npos) << text;
  }
}

// An attempt's target, port, result, bytes and digest ("null" when there is none), with " | ".
std::string Sent(const QJsonObject& attempt) {
  std::string text;
  for (const char* key : {"target", "port", "result"}) text += Text(attempt, key) + " | ";
  return text + std::to_string(attempt["bytes"].toInteger()) + " | " +
         (attempt["sha256"].isNull() ? "null" : Text(attempt, "sha256"));
}
// The run's document: its result, with the exit status that goes with it, and its attempts, which
// `attempts` must count (filled up with empty ones when they do not, so that the caller may take
// each).
std::vector<QJsonObject> Attempts(const Finished& run, const std::string& result, std::size_t attempts) {
  EXPECT_EQ(run.exit, result == "ok" ? 0 : 1) << run.err;
  const QJsonObject document = Document(run);
  EXPECT_EQ(Text(document, "result"), result) << run.out;
  std::vector<QJsonObject> printers;
  for (const QJsonValue& printer : document["printers"].toArray()) printers.push_back(printer.toObject());
  EXPECT_EQ(printers.size(), attempts) << run.out;
  printers.resize(attempts);
  return printers;
}

// REAL TIME: a one-area download to a FILE port beside one to two printers, about 23 s.
TEST(CliDownloadJson, OnePrinterOrManyEachWithWhatItWasSentAndHowItEnded) {
  CliKit single, fleet;
  single.SelectFont(1000);
  fleet.SelectFont(1000);
  test::SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string printer = "127.1:" + std::to_string(sim.Port());
  const std::string dead = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  auto side = std::async(std::launch::async,
                         [&] { return fleet.Run({"download", "--json", "--no-echo-test", "--ip", printer, "--ip", dead}); });
  const std::string one = single.dir.File("one.out"), two = single.dir.File("two.out");
  const Finished alone = single.Run({"download", "--json", "--port", "FILE", "--output", one, "--output", two});
  const Finished many = side.get();

  const QJsonObject file = Attempts(alone, "ok", 1)[0];
  const std::string image = test::ReadFile(DefaultFontSetPath(single.program));
  EXPECT_EQ(Sent(file), one + " " + two + " | FILE | ok | " + std::to_string(image.size()) + " | " + Sha256Hex(image));
  EXPECT_EQ(Text(file, "message") + "|" + Text(file, "detail"), "Fonts will be stored in printer when green led turns on again.|");
  // The pause after the announcement and the closing wait, 11 s each.
  EXPECT_TRUE(file["seconds"].toDouble() >= 22.0 && file["seconds"].toDouble() < 40.0) << file["seconds"].toDouble();

  // Many printers: the document instead of the result lines, in the targets' order and spelling.
  const std::vector<QJsonObject> printers = Attempts(many, "failed", 2);
  const QJsonObject &served = printers[0], &refused = printers[1];
  const std::string fleetImage = test::ReadFile(DefaultFontSetPath(fleet.program));
  EXPECT_EQ(Sent(served), printer + " | TCP/IP | ok | " + std::to_string(fleetImage.size()) + " | " + Sha256Hex(fleetImage));
  EXPECT_GE(served["seconds"].toDouble(), 22.0);
  // Nothing was sent to the refused one.
  EXPECT_EQ(Sent(refused), dead + " | TCP/IP | failed | 0 | null");
  EXPECT_LT(refused["seconds"].toDouble(), 10.0);
  // Its message and the system's reason below it, each as stderr shows them, neither twice.
  const std::string message = Text(refused, "message"), detail = Text(refused, "detail");
  EXPECT_TRUE(!message.empty() && !detail.empty() && message.find(detail) == std::string::npos) << message;
  EXPECT_NE(many.err.find(dead + ": " + detail.substr(0, detail.find('\n'))), std::string::npos) << many.err;
}

TEST(CliDownloadJson, FailedAndStoppedAttemptsAndARunThatNeverStarts) {
  CliKit kit;
  kit.SelectFont(1000);
  const Finished refused = kit.Run({"download", "--json", "--port", "FILE"});
  const QJsonObject r = Attempts(refused, "failed", 1)[0];
  EXPECT_TRUE(Sent(r).ends_with(" | failed | 0 | null")) << refused.out;
  EXPECT_EQ(Text(r, "message"), "The FILE port needs --output FILE: no output file was given.");
  // One printer that refuses the connection: the system's reason apart from the message.
  const std::string dead = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  const QJsonObject d = Attempts(kit.Run({"download", "--json", "--no-echo-test", "--ip", dead}), "failed", 1)[0];
  EXPECT_TRUE(!Text(d, "detail").empty() && Text(d, "message").find(Text(d, "detail")) == std::string::npos)
      << Text(d, "message");

  const std::string one = kit.dir.File("one.out");
  const Finished stopped = kit.Run({"download", "--json", "--port", "FILE", "--output", one, "--output", one + "2"},
                                   [](const Finished& f) { return f.err.find("Waiting 11 s\n") != std::string::npos; });
  const QJsonObject s = Attempts(stopped, "stopped", 1)[0];
  EXPECT_EQ(Text(s, "message") + " | " + Text(s, "target"), "Download stopped. | " + one);

  // A profile that cannot be read (a folder in its place): no attempt, and still one document.
  // Usage errors have none.
  ASSERT_TRUE(::unlink(kit.profile.c_str()) == 0 && MakeFolders(kit.profile));
  const Finished unread = kit.Run({"download", "--json", "--port", "FILE", "--output", one});
  Attempts(unread, "failed", 0);
  // An option without its value among them.
  for (const Finished& usage : {kit.Run({"download", "--json", "--jobs", "0"}), kit.Run({"download", "--json", "--ip", "127.0.0.1", "--ip"})})
    EXPECT_EQ(std::tie(usage.exit, usage.out), std::make_tuple(2, std::string())) << usage.err;
}

}  // namespace
}  // namespace corvelle
