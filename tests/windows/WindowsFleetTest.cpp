// SPDX-License-Identifier: MIT
// A download to several printers on Windows, in process: the frozen image no other opening may
// write, rename or delete, and that leaves no file behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "cli/FleetDownload.h"
#include "support/TempDir.h"

namespace corvelle::cli {
namespace {

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
  std::optional<Result<ImageSnapshot>> snapshot(ImageSnapshot::Take(built));
  ASSERT_TRUE(*snapshot) << snapshot->Failure().message;
  const std::vector<std::wstring> files = SnapshotFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::wstring& path = files[0];
  // Writing, renaming and deleting are all refused while the snapshot is held.
  const HANDLE writer =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer opened the snapshot";
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(path.c_str()) || ::MoveFileW(path.c_str(), (path + L".moved").c_str()));
  // A reading made before the snapshot goes reads on to its end after it has gone.
  FileHandle reading = (*snapshot)->Open();
  snapshot.reset();
  std::string read(bytes.size() + 1, '\0');
  EXPECT_EQ(reading.Read(read.data(), read.size()), static_cast<long>(bytes.size()));
  EXPECT_TRUE(read.substr(0, bytes.size()) == bytes);
  ASSERT_TRUE(reading.Close());
  EXPECT_TRUE(SnapshotFiles().empty()) << "the temporary file is left behind";
}

}  // namespace
}  // namespace corvelle::cli
