// SPDX-License-Identifier: MIT
// corvelle-cli download --json: one document on stdout for one printer or many, with every
// attempt's target, result, message and detail, the image bytes sent with their digest, and the
// time taken; the exit status as without it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#include <QJsonArray>
#include <QJsonObject>

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
// The text fields `keys` of `object`, joined with " | ".
std::string Texts(const QJsonObject& object, std::initializer_list<const char*> keys) {
  std::string text;
  for (const char* key : keys) text += (text.empty() ? "" : " | ") + Text(object, key);
  return text;
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
  const QJsonObject a = Document(alone);
  EXPECT_EQ(Text(a, "result"), "ok");
  ASSERT_EQ(a["printers"].toArray().size(), 1);
  const QJsonObject file = a["printers"].toArray()[0].toObject();
  const std::string image = test::ReadFile(DefaultFontSetPath(single.program));
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(Texts(file, {"target", "port", "result", "message", "detail"}),
            one + " " + two + " | FILE | ok | Fonts will be stored in printer when green led turns on again. | ");
  EXPECT_EQ(file["bytes"].toInteger(), static_cast<qint64>(image.size()));
  EXPECT_EQ(Text(file, "sha256"), Sha256Hex(image));
  // The pause after the announcement and the closing wait, 11 s each.
  EXPECT_GE(file["seconds"].toDouble(), 22.0);
  EXPECT_LT(file["seconds"].toDouble(), 40.0);

  // Many printers: the document instead of the result lines, in the targets' order and spelling.
  EXPECT_EQ(many.exit, 1) << many.err;
  const QJsonObject m = Document(many);
  EXPECT_EQ(Text(m, "result"), "failed");
  const QJsonArray printers = m["printers"].toArray();
  ASSERT_EQ(printers.size(), 2);
  const QJsonObject served = printers[0].toObject(), refused = printers[1].toObject();
  const std::string fleetImage = test::ReadFile(DefaultFontSetPath(fleet.program));
  EXPECT_EQ(Texts(served, {"target", "result"}), printer + " | ok");
  EXPECT_EQ(served["bytes"].toInteger(), static_cast<qint64>(fleetImage.size()));
  EXPECT_EQ(Text(served, "sha256"), Sha256Hex(fleetImage));
  EXPECT_GE(served["seconds"].toDouble(), 22.0);
  EXPECT_EQ(Texts(refused, {"target", "port", "result"}), dead + " | TCP/IP | failed");
  EXPECT_EQ(refused["bytes"].toInteger(), 0);
  EXPECT_TRUE(refused["sha256"].isNull()) << "nothing was sent";
  EXPECT_LT(refused["seconds"].toDouble(), 10.0);
  // Its message and the system's reason below it, each as stderr shows them, neither twice.
  const std::string message = Text(refused, "message"), detail = Text(refused, "detail");
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(detail.empty());
  EXPECT_EQ(message.find(detail), std::string::npos) << message;
  EXPECT_NE(many.err.find(dead + ": " + detail.substr(0, detail.find('\n'))), std::string::npos) << many.err;
}

TEST(CliDownloadJson, FailedAndStoppedAttemptsAndARunThatNeverStarts) {
  CliKit kit;
  kit.SelectFont(1000);
  const Finished refused = kit.Run({"download", "--json", "--port", "FILE"});
  EXPECT_EQ(refused.exit, 1);
  const QJsonObject r = Document(refused);
  EXPECT_EQ(Text(r, "result"), "failed");
  ASSERT_EQ(r["printers"].toArray().size(), 1);
  const QJsonObject attempt = r["printers"].toArray()[0].toObject();
  EXPECT_EQ(Text(attempt, "message"), "The FILE port needs --output FILE: no output file was given.");
  EXPECT_EQ(attempt["bytes"].toInteger(), 0);
  EXPECT_TRUE(attempt["sha256"].isNull());

  const std::string one = kit.dir.File("one.out");
  const Finished stopped = kit.Run({"download", "--json", "--port", "FILE", "--output", one, "--output", one + "2"},
                                   [](const Finished& f) { return f.err.find("Waiting 11 s\n") != std::string::npos; });
  EXPECT_EQ(stopped.exit, 1);
  const QJsonObject s = Document(stopped);
  EXPECT_EQ(Text(s, "result"), "stopped");
  ASSERT_EQ(s["printers"].toArray().size(), 1);
  EXPECT_EQ(Texts(s["printers"].toArray()[0].toObject(), {"message", "target"}), "Download stopped. | " + one);

  // A profile that cannot be read (a folder in its place): no attempt, and still one document.
  // Usage errors have none.
  ASSERT_EQ(::unlink(kit.profile.c_str()), 0);
  ASSERT_TRUE(MakeFolders(kit.profile));
  const Finished unread = kit.Run({"download", "--json", "--port", "FILE", "--output", one});
  EXPECT_EQ(unread.exit, 1) << unread.err;
  EXPECT_EQ(Text(Document(unread), "result"), "failed");
  EXPECT_TRUE(Document(unread)["printers"].toArray().isEmpty());
  const Finished usage = kit.Run({"download", "--json", "--jobs", "0"});
  EXPECT_EQ(std::tie(usage.exit, usage.out), std::make_tuple(2, std::string()));
}

}  // namespace
}  // namespace corvelle
