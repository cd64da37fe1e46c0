// The FILE kind: the proposed name, the save dialog at every open, truncation, locking, and
// write failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>

#include "ports/DevicePort.h"
#include "ports/FileBackend.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::FakeHost;
using test::ReadFile;
using test::TempDir;

PortOpenArgs FileArgs(const std::string& output = "fontext.out", const std::string& fallback = "fontext.out") {
  PortOpenArgs a;
  a.portName = "FILE";
  a.outputName = output;
  a.fallbackOutputName = fallback;
  return a;
}

TEST(SuggestedOutputName, FollowsTheNamingRules) {
  EXPECT_EQ(SuggestedOutputName("fontext.out", "fontext.out"), "fontext.out.out");
  EXPECT_EQ(SuggestedOutputName("C:\\Fonts\\set.KRV", ""), "set.out");
  EXPECT_EQ(SuggestedOutputName("/home/u/set.krv", ""), "set.out");
  EXPECT_EQ(SuggestedOutputName("a.krv.b.krv", ""), "a.out");
  EXPECT_EQ(SuggestedOutputName("", "fallback"), "fallback.out");
  EXPECT_EQ(SuggestedOutputName("", "fb.krv"), "fb.krv.out") << "only the first name is looked at for .krv";
  EXPECT_EQ(SuggestedOutputName("", ""), ".out");
  EXPECT_EQ(SuggestedOutputName("dir\\", ""), ".out");
}

struct FileFixture : ::testing::Test {
  FakeHost host;
  TempDir dir;
  CDevicePort port{host, PortEnvironment{}};
};

TEST_F(FileFixture, EveryOpenAsksForTheFileWithTheSameProposalAndTruncatesIt) {
  const std::string path = dir.Write("out.out", "old contents that are longer");
  host.savePaths = {path, path};
  ASSERT_TRUE(port.Open(FileArgs()));
  EXPECT_TRUE(port.Write("abc", 3));
  EXPECT_TRUE(port.WriteText(std::string("\x00z", 2).c_str()));
  port.Purge();
  EXPECT_TRUE(port.DrainOutput());
  port.Close();
  EXPECT_EQ(ReadFile(path), "abc");
  ASSERT_TRUE(port.Open(FileArgs()));
  EXPECT_TRUE(port.Write("\x00\xff", 2));
  port.Close();
  EXPECT_EQ(ReadFile(path), std::string("\x00\xff", 2));

  ASSERT_EQ(host.saveRequests.size(), 2u);
  for (const auto& r : host.saveRequests) {
    EXPECT_EQ(r.suggestedName, "fontext.out.out");
    EXPECT_EQ(r.defaultExtension, "out");
    EXPECT_EQ(r.filter, "Output file (*.out) | *.out||");
    EXPECT_TRUE(r.overwritePrompt);
    EXPECT_TRUE(r.pathMustExist);
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FileFixture, CancellingTheDialogEndsTheOpenSilently) {
  host.savePaths = {std::nullopt};
  EXPECT_FALSE(port.Open(FileArgs()));
  EXPECT_EQ(port.Kind(), PortKind::File);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(port.Write("a", 1));
}

TEST_F(FileFixture, AFileThatCannotBeOpenedIsReportedPlain) {
  host.savePaths = {dir.File("missing/folder/x.out")};
  EXPECT_FALSE(port.Open(FileArgs()));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Error opening output file(Q)");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
}

TEST_F(FileFixture, AFileAnotherWriterHoldsIsNeitherOpenedNorTruncated) {
  const std::string path = dir.Write("busy.out", "keep me");
  const int other = ::open(path.c_str(), O_WRONLY);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  host.savePaths = {path};
  EXPECT_FALSE(port.Open(FileArgs()));
  ::close(other);
  EXPECT_EQ(ReadFile(path), "keep me");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Error opening output file(Q)");
}

TEST_F(FileFixture, AFullDiskIsReportedOnceAndStopsTheTransfer) {
  host.savePaths = {"/dev/full"};
  ASSERT_TRUE(port.Open(FileArgs()));
  EXPECT_FALSE(port.Write("abc", 3));
  EXPECT_FALSE(port.Write("abc", 3));
  port.Close();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find("/dev/full"), std::string::npos);
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
}

TEST_F(FileFixture, AFileSizeLimitStopsTheTransferAfterTheBytesThatFit) {
  const std::string path = dir.File("limited.out");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    FakeHost childHost;
    childHost.savePaths = {path};
    CDevicePort childPort(childHost, PortEnvironment{});
    if (!childPort.Open(FileArgs())) ::_exit(1);
    const std::string chunk(600, 'f');
    const bool first = childPort.Write(chunk.data(), chunk.size());
    const bool second = childPort.Write(chunk.data(), chunk.size());
    childPort.Close();
    ::_exit(first && !second && childHost.messages.size() == 1 ? 0 : 2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(path), std::string(1000, 'f'));
}

}  // namespace
}  // namespace corvelle
