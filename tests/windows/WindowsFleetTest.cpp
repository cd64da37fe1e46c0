// SPDX-License-Identifier: MIT
// A download to several printers on Windows, in process: the frozen image no other opening may
// write, rename or delete, and that leaves no file behind; and the printers' hosts, whose waits
// all end on the run's one STOP while one it may not end runs its whole length.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "base/StopSignal.h"
#include "cli/FleetDownload.h"
#include "cli/FleetHost.h"
#include "support/Elapsed.h"
#include "support/LoopbackPrinter.h"
#include "support/TempDir.h"

namespace corvelle::cli {
namespace {

using test::Clock;
using test::SecondsSince;

// The snapshot files of this process in the temporary folder.
std::vector<std::wstring> SnapshotFiles() {
  const std::wstring stem = L"corvelle-image-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
  std::vector<std::wstring> found;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
    if (entry.path().filename().wstring().starts_with(stem)) found.push_back(entry.path().wstring());
  }
  return found;
}

TEST(WindowsFleetImage, NoOtherOpeningMayChangeItAndItGoesWithItsLastReading) {
  test::TempDir dir;
  const std::string bytes = std::string(70000, 'i') + "end";
  FileHandle built = FileHandle::OpenRegularForReading(dir.Write("FontSet.SHC", bytes));
  ASSERT_TRUE(SnapshotFiles().empty());
  std::string error;
  auto snapshot = ImageSnapshot::Take(built, error);
  ASSERT_TRUE(snapshot) << error;
  const std::vector<std::wstring> files = SnapshotFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::wstring path = files[0];

  // Writing, renaming and deleting are all refused while the snapshot is held.
  const HANDLE writer =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer opened the snapshot";
  if (writer != INVALID_HANDLE_VALUE) ::CloseHandle(writer);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(path.c_str()));
  EXPECT_FALSE(::MoveFileW(path.c_str(), (path + L".moved").c_str()));

  // A reading made before the snapshot goes reads on to its end after it has gone.
  FileHandle reading = snapshot->Open();
  ASSERT_TRUE(reading.IsOpen()) << reading.ErrorText();
  EXPECT_EQ(reading.LengthAtOpen(), bytes.size());
  snapshot.reset();
  std::string read(bytes.size() + 1, '\0');
  EXPECT_EQ(reading.Read(read.data(), read.size()), static_cast<long>(bytes.size()));
  EXPECT_TRUE(read.substr(0, bytes.size()) == bytes);
  ASSERT_TRUE(reading.Close());
  EXPECT_TRUE(SnapshotFiles().empty()) << "the temporary file is left behind";
}

using test::SocketPair;

TEST(WindowsFleetHost, OneStopEndsEveryPrintersPauseAndSocketWaitWhileAWaitItMayNotEndRunsOut) {
  std::ostringstream out;
  FleetStatus status({"a:1", "b:1", "c:1"}, out, false, [] { return 80; });
  StopSignal stop;
  FleetHost pausing(status, 0, stop), reading(status, 1, stop), closing(status, 2, stop);
  SocketPair pair;
  ASSERT_TRUE(pair.peer.Valid());

  // One STOP raised from elsewhere ends both printers' long waits at once.
  double paused = 0, read = 0;
  bool readReady = true;
  Clock::time_point start = Clock::now();
  std::thread first([&] {
    pausing.WaitFor(60'000);
    paused = SecondsSince(start);
  });
  std::thread second([&] {
    readReady = reading.WaitForFd(pair.mine.Handle(), FdEvent::Readable, 60'000);
    read = SecondsSince(start);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop.Raise();
  first.join();
  second.join();
  EXPECT_LT(paused, 2.0);
  EXPECT_LT(read, 2.0);
  EXPECT_FALSE(readReady);
  EXPECT_TRUE(pausing.CreateProgressView()->CancelRequested());

  // Once raised, a wait STOP may end returns at once; one it may not end still runs out.
  start = Clock::now();
  closing.WaitFor(60'000);
  EXPECT_LT(SecondsSince(start), 1.0);
  start = Clock::now();
  closing.WaitFor(200, WaitMode::PaintOnly);
  EXPECT_GE(SecondsSince(start), 0.19);
}

}  // namespace
}  // namespace corvelle::cli
