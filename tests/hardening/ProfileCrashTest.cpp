// A process killed while it saves the profile leaves the old profile or the new one, complete,
// never a mixture or a truncated file: a child saves two large profiles in turn, and is killed
// with SIGKILL just after its temporary file appears, or after a few complete saves.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>

#include "base/Profile.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

// The profile text with `fill` as a large display name, as Save writes it.
std::string ProfileText(char fill) {
  Profile profile;
  profile.Parse("[Impostazione porta]\nPort=COM1:\n[FontsAggiuntivi]\nFont001=/opt/corvelle/FontExt/BLKR10WE.she\n");
  profile.WriteString("FontsAggiuntivi", "FontDialog001", std::string(512 * 1024, fill));
  return profile.Serialize();
}

[[noreturn]] void SaveForever(const std::string& path) {
  Profile profile(path);
  for (char fill = 'b';; fill = fill == 'a' ? 'b' : 'a') {
    profile.WriteString("FontsAggiuntivi", "FontDialog001", std::string(512 * 1024, fill));
    if (!profile.Save()) ::_exit(2);
  }
}

// Waits for `creations` files to be created in the watched folder; false after 10 s without.
bool AwaitCreations(int inotifyFd, int creations) {
  alignas(inotify_event) char buffer[4096];
  while (creations > 0) {
    pollfd ready{inotifyFd, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) return false;
    const ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
    if (n <= 0) return false;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->mask & IN_CREATE) --creations;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return true;
}

TEST(ProfileCrash, AKilledSaveLeavesTheOldOrTheNewProfileWhole) {
  TempDir dir;
  const std::string path = dir.File("corvelle.ini");
  const std::string oldText = ProfileText('a');
  const std::string newText = ProfileText('b');
  {
    Profile initial(path);
    initial.Parse(oldText);
    ASSERT_TRUE(initial.Save()) << initial.LastError();
  }

  int sawOld = 0, sawNew = 0, leftTemporaries = 0;
  for (int round = 0; round < 24; ++round) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveForever(path);
    // Every save creates one temporary file: kill during the first to the fourth save.
    const bool created = AwaitCreations(watch, 1 + round % 4);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(watch);
    ASSERT_TRUE(created) << "the child never saved";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;

    const std::string text = ReadFile(path);
    ASSERT_TRUE(text == oldText || text == newText) << "round " << round << ": " << text.size() << " bytes";
    (text == oldText ? sawOld : sawNew)++;
    // What a killed save leaves is its temporary file only; nothing reads it.
    leftTemporaries += ::system(("ls " + path + ".* >/dev/null 2>&1").c_str()) == 0;
    ASSERT_EQ(::system(("rm -f " + path + ".*").c_str()), 0);
  }
  std::cout << "old " << sawOld << ", new " << sawNew << ", killed mid-save " << leftTemporaries << " of 24\n";
}

}  // namespace
}  // namespace corvelle
