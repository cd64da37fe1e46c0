// SPDX-License-Identifier: MIT
// corvelle-cli download --json: one document on stdout for one printer or many, with every
// attempt's target, result, message and detail, the image bytes sent with their digest, and the
// time taken; the exit status as without it.

#include <unistd.h>

#include <thread>

#include <QJsonArray>

#include "CliKit.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "fontset/FontSetBuilder.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using test::CliKit;
using test::Document;
using test::Finished;

std::string Text(const QJsonObject& object, const char* key) { return object[key].toString().toStdString(); }
// An attempt's target, port, result, bytes and digest ("null" when there is none), with " | ".
std::string Sent(const QJsonObject& attempt) {
  std::string text;
  for (const char* key : {"target", "port", "result"}) text += Text(attempt, key) + " | ";
  return text + std::to_string(attempt["bytes"].toInteger()) + " | " +
         (attempt["sha256"].isNull() ? "null" : Text(attempt, "sha256"));
}
// The run's document: its result and its attempts, which `attempts` must count.
QJsonArray Attempts(const Finished& run, const std::string& result, qsizetype attempts) {
  const QJsonObject document = Document(run);
  EXPECT_EQ(Text(document, "result"), result) << run.out;
  EXPECT_EQ(document["printers"].toArray().size(), attempts) << run.out;
  return document["printers"].toArray();
}

// REAL TIME: a one-area download to a FILE port beside one to two printers, about 23 s.
TEST(CliDownloadJson, OnePrinterOrManyEachWithWhatItWasSentAndHowItEnded) {
  CliKit single, fleet;
  single.SelectFont(1000);
  fleet.SelectFont(1000);
  test::SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string printer = "127.1:" + std::to_string(sim.Port());
  const std::string dead = "127.0.0.1:" + std::to_string(test::ClosedPort());
  Finished many;
  std::thread side([&] { many = fleet.Run({"download", "--json", "--no-echo-test", "--ip", printer, "--ip", dead}); });
  const std::string one = single.dir.File("one.out"), two = single.dir.File("two.out");
  const Finished alone = single.Run({"download", "--json", "--port", "FILE", "--output", one, "--output", two});
  side.join();

  EXPECT_EQ(alone.exit, 0) << alone.err;
  const QJsonArray a = Attempts(alone, "ok", 1);
  ASSERT_EQ(a.size(), 1);
  const QJsonObject file = a[0].toObject();
  const std::string image = test::ReadFile(DefaultFontSetPath(single.program));
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(Sent(file), one + " " + two + " | FILE | ok | " + std::to_string(image.size()) + " | " + Sha256Hex(image));
  EXPECT_EQ(Text(file, "message") + "|" + Text(file, "detail"), "Fonts will be stored in printer when green led turns on again.|");
  // The pause after the announcement and the closing wait, 11 s each.
  EXPECT_GE(file["seconds"].toDouble(), 22.0);
  EXPECT_LT(file["seconds"].toDouble(), 40.0);

  // Many printers: the document instead of the result lines, in the targets' order and spelling.
  EXPECT_EQ(many.exit, 1) << many.err;
  const QJsonArray printers = Attempts(many, "failed", 2);
  ASSERT_EQ(printers.size(), 2);
  const QJsonObject served = printers[0].toObject(), refused = printers[1].toObject();
  const std::string fleetImage = test::ReadFile(DefaultFontSetPath(fleet.program));
  EXPECT_EQ(Sent(served), printer + " | TCP/IP | ok | " + std::to_string(fleetImage.size()) + " | " + Sha256Hex(fleetImage));
  EXPECT_GE(served["seconds"].toDouble(), 22.0);
  // Nothing was sent to the refused one.
  EXPECT_EQ(Sent(refused), dead + " | TCP/IP | failed | 0 | null");
  EXPECT_LT(refused["seconds"].toDouble(), 10.0);
  // Its message and the system's reason below it, each as stderr shows them, neither twice.
  const std::string message = Text(refused, "message"), detail = Text(refused, "detail");
  EXPECT_FALSE(message.empty() || detail.empty());
  EXPECT_EQ(message.find(detail), std::string::npos) << message;
  EXPECT_NE(many.err.find(dead + ": " + detail.substr(0, detail.find('\n'))), std::string::npos) << many.err;
}

TEST(CliDownloadJson, FailedAndStoppedAttemptsAndARunThatNeverStarts) {
  CliKit kit;
  kit.SelectFont(1000);
  const Finished refused = kit.Run({"download", "--json", "--port", "FILE"});
  EXPECT_EQ(refused.exit, 1);
  const QJsonArray r = Attempts(refused, "failed", 1);
  ASSERT_EQ(r.size(), 1);
  EXPECT_TRUE(Sent(r[0].toObject()).ends_with(" | failed | 0 | null")) << refused.out;
  EXPECT_EQ(Text(r[0].toObject(), "message"), "The FILE port needs --output FILE: no output file was given.");

  const std::string one = kit.dir.File("one.out");
  const Finished stopped = kit.Run({"download", "--json", "--port", "FILE", "--output", one, "--output", one + "2"},
                                   [](const Finished& f) { return f.err.find("Waiting 11 s\n") != std::string::npos; });
  EXPECT_EQ(stopped.exit, 1);
  const QJsonArray s = Attempts(stopped, "stopped", 1);
  ASSERT_EQ(s.size(), 1);
  EXPECT_EQ(Text(s[0].toObject(), "message") + " | " + Text(s[0].toObject(), "target"), "Download stopped. | " + one);

  // A profile that cannot be read (a folder in its place): no attempt, and still one document.
  // Usage errors have none.
  ASSERT_EQ(::unlink(kit.profile.c_str()), 0);
  ASSERT_TRUE(MakeFolders(kit.profile));
  const Finished unread = kit.Run({"download", "--json", "--port", "FILE", "--output", one});
  EXPECT_EQ(unread.exit, 1) << unread.err;
  Attempts(unread, "failed", 0);
  const Finished usage = kit.Run({"download", "--json", "--jobs", "0"});
  EXPECT_EQ(std::tie(usage.exit, usage.out), std::make_tuple(2, std::string()));
}

}  // namespace
}  // namespace corvelle
