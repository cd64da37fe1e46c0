// SPDX-License-Identifier: MIT
// The per-printer locks: one holder at a time, within a process and across processes, the
// holder named to whoever finds it held, released however the holder ends (a killed one too),
// and kept in a private per-user folder. The profile's lock lies beside the profile.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/Paths.h"
#include "base/PrinterLock.h"
#include "base/Profile.h"
#include "base/ProfileLock.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

// In a folder anyone may write to, another user's link in the profile's place is not followed:
// no lock is made, neither beside the file it names nor in the current folder, and no save.
TEST(ProfileLock, LiesBesideTheProfileAndNeverFollowsAnotherUsersLink) {
  test::TempDir dir;
  const std::string own = dir.File("own/corvelle.ini");
  EXPECT_TRUE(ProfileLock(own).Held() && std::filesystem::exists(own + ".lock"));
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  const std::string shared = dir.File("shared"), link = shared + "/corvelle.ini", victim = dir.Write("victim", "x");
  ASSERT_TRUE(MakeFolders(shared) && ::chmod(shared.c_str(), 0777) == 0);
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()) | ::lchown(link.c_str(), 65534, 65534), 0);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  EXPECT_FALSE(ProfileLock(link).Held());
  std::filesystem::current_path(before);
  EXPECT_FALSE(std::filesystem::exists(dir.File(".lock")) || std::filesystem::exists(victim + ".lock"));
  EXPECT_TRUE(!Profile(link).Save() && test::ReadFile(victim) == "x") << "nor is the file it names replaced";
}

TEST(PrinterLock, OneHolderAtATimeNamedToTheOthersUntilItGoesEvenKilled) {
  std::optional<PrinterLock> first(std::in_place, "127.0.0.1:4001");
  ASSERT_EQ(first->GetState(), PrinterLock::State::Held) << first->Problem();
  // Two downloads of one process (several printers at once) exclude each other as well.
  PrinterLock second("127.0.0.1:4001");
  EXPECT_EQ(std::pair(second.GetState(), second.Holder()),
            std::pair(PrinterLock::State::Busy, "base_tests (process " + std::to_string(::getpid()) + ")"));
  EXPECT_EQ(PrinterLock("127.0.0.1:4002").GetState(), PrinterLock::State::Held) << "another printer is free";
  // A lock moved keeps the printer; the one moved from holds nothing.
  PrinterLock moved = std::move(*first);
  first.reset();
  EXPECT_EQ(PrinterLock("127.0.0.1:4001").GetState(), PrinterLock::State::Busy);
  moved = PrinterLock("127.0.0.1:4003");
  EXPECT_EQ(std::pair(PrinterLock("127.0.0.1:4001").GetState(), PrinterLock("127.0.0.1:4003").GetState()),
            std::pair(PrinterLock::State::Held, PrinterLock::State::Busy));
  // Another process holds it until it is killed.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    const PrinterLock lock("/dev/ttyS3");
    if (::write(ready[1], lock.GetState() == PrinterLock::State::Held ? "y" : "n", 1) == 1) for (;;) ::pause();
    ::_exit(1);
  }
  ::close(ready[1]);
  char held = 0;
  EXPECT_TRUE(::read(ready[0], &held, 1) == 1 && held == 'y');
  ::close(ready[0]);
  PrinterLock busy("/dev/ttyS3");
  EXPECT_EQ(std::pair(busy.GetState(), busy.Holder()),
            std::pair(PrinterLock::State::Busy, "base_tests (process " + std::to_string(child) + ")"));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(PrinterLock("/dev/ttyS3").GetState(), PrinterLock::State::Held);
}

TEST(PrinterLock, LocksLiveInAPrivateFolderOfTheSessionElseOfTheStateUnderNamesThatKeepPrintersApart) {
  const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = JoinPath(runtime, "corvelle");
  {
    PrinterLock lock("USB KERV");
    ASSERT_EQ(lock.GetState(), PrinterLock::State::Held) << lock.Problem();
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms(0700));
    EXPECT_TRUE(test::FileExists(JoinPath(folder, PrinterLockFileName("USB KERV"))));
  }
  // A folder others may write could hold a planted lock file: no lock, and the reason.
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  const PrinterLock refused("USB KERV");
  EXPECT_TRUE(refused.GetState() == PrinterLock::State::Unusable && refused.Problem().find(folder) != std::string::npos)
      << refused.Problem();
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  // Without a session folder the locks go with the history.
  ::unsetenv("XDG_RUNTIME_DIR");
  const PrinterLock stateLock("USB KERV");
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  EXPECT_EQ(stateLock.GetState(), PrinterLock::State::Held) << stateLock.Problem();
  EXPECT_TRUE(test::FileExists(JoinPath(std::getenv("XDG_STATE_HOME"), "corvelle/locks/" + PrinterLockFileName("USB KERV"))));
  // File names keep printers apart, and records that are not a holder say so.
  EXPECT_EQ(PrinterLockFileName("10.0.0.1:9100").rfind("10.0.0.1_9100-", 0), 0u);
  EXPECT_NE(PrinterLockFileName("/dev/a_b"), PrinterLockFileName("/dev/a/b"));
  const std::string longName(300, 'x');
  EXPECT_TRUE(PrinterLockFileName(longName) != PrinterLockFileName(longName + "y") && PrinterLockFileName(longName).size() < 100);
  EXPECT_EQ(HolderText(HolderRecord("corvelle-cli", 4242)), "corvelle-cli (process 4242)");
  EXPECT_EQ(HolderText(HolderRecord("a b\x1b", 7)), "a_b_ (process 7)");
  for (const char* record : {"", "corvelle", "corvelle 12", " 12\n", "corvelle \n", "corvelle 1x\n",
                             "corvelle 123456789012345678901\n", "cor\x7fvelle 12\n"})
    EXPECT_EQ(HolderText(record), "another program") << record;
}

}  // namespace
}  // namespace corvelle
