// The FILE kind: the proposed name, the save dialog at every open, truncation, locking, and
// write failures.
#include <gtest/gtest.h>
#include <sys/file.h>

#include "ports/DevicePort.h"
#include "ports/FileBackend.h"
#include "ports/PortKit.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::ReadFile;

TEST(SuggestedOutputName, AppendsOutCutsKrvAndDropsTheFolder) {
  EXPECT_EQ(SuggestedOutputName("fontext.out", "fontext.out"), "fontext.out.out");
  EXPECT_EQ(SuggestedOutputName("C:\\Fonts\\set.KRV", ""), "set.out");
  EXPECT_EQ(SuggestedOutputName("/home/u/a.krv.b.krv", ""), "a.out");
  EXPECT_EQ(SuggestedOutputName("", "fb.krv"), "fb.krv.out") << "only the first name is looked at for .krv";
  EXPECT_EQ(SuggestedOutputName("", ""), ".out");
}

struct FileFixture : ::testing::Test {
  bool Open() {
    PortOpenArgs a = test::Args("FILE");
    a.outputName = a.fallbackOutputName = "fontext.out";
    return port.Open(a);
  }
  test::FakeHost host;
  test::TempDir dir;
  CDevicePort port{host, PortEnvironment{}};
};

TEST_F(FileFixture, EveryOpenAsksForTheFileAndTruncatesItAndCancelIsSilent) {
  const std::string path = dir.Write("out.out", "old contents that are longer");
  host.savePaths = {path, path, std::nullopt};
  ASSERT_TRUE(Open());
  EXPECT_TRUE(port.Write("abc", 3));
  port.Close();
  EXPECT_EQ(ReadFile(path), "abc");
  ASSERT_TRUE(Open());
  EXPECT_TRUE(port.Write("\x00\xff", 2));
  port.Close();
  EXPECT_EQ(ReadFile(path), std::string("\x00\xff", 2));
  EXPECT_FALSE(Open());
  EXPECT_FALSE(port.Write("a", 1));
  ASSERT_EQ(host.saveRequests.size(), 3u);
  for (const auto& r : host.saveRequests) {
    EXPECT_EQ(r.suggestedName + " " + r.defaultExtension + " " + r.filter, "fontext.out.out out Output file (*.out) | *.out||");
    EXPECT_TRUE(r.overwritePrompt && r.pathMustExist);
  }
  EXPECT_EQ(Shown(host), "");
}

TEST_F(FileFixture, OpenFailuresAreReportedPlainAndAFailingWriteOnce) {
  const std::string held = dir.Write("busy.out", "keep me");
  const int other = ::open(held.c_str(), O_WRONLY);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  host.savePaths = {dir.File("missing/folder/x.out"), held, "/dev/full"};
  EXPECT_FALSE(Open());
  EXPECT_FALSE(Open());
  ::close(other);
  EXPECT_EQ(ReadFile(held), "keep me") << "a file another writer holds is not truncated";
  ASSERT_TRUE(Open());
  EXPECT_FALSE(port.Write("abc", 3));
  EXPECT_FALSE(port.Write("abc", 3));
  port.Close();
  const std::string shown = Shown(host);
  EXPECT_EQ(shown.rfind("plain: Error opening output file(Q)\nplain: Error opening output file(Q)\nplain: ", 0), 0u);
  EXPECT_EQ(host.messages.size(), 3u) << shown;
  EXPECT_NE(shown.find("/dev/full"), std::string::npos);
}

}  // namespace
}  // namespace corvelle
