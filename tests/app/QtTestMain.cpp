// SPDX-License-Identifier: MIT
// Entry point of the window tests: one QApplication for all of them, offscreen unless a platform
// was chosen. The platform goes to Qt as its -platform option, which also reaches a Windows
// program under Wine, where the environment variable does not. On Windows the offscreen platform
// finds fonts only in a folder it is given: the DejaVu fonts the Linux tests use, which Wine
// shows on drive Z:.
#include <gtest/gtest.h>

#include <QApplication>
#include <vector>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  corvelle::test::IsolateUserFolders();
  ::testing::InitGoogleTest(&argc, argv);
  std::vector<char*> args(argv, argv + argc);
  char platformOption[] = "-platform";
  char offscreen[] = "offscreen";
#ifdef _WIN32
  if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) qputenv("QT_QPA_FONTDIR", "Z:\\usr\\share\\fonts\\truetype\\dejavu");
#endif
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    args.insert(args.begin() + 1, {platformOption, offscreen});
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  QApplication app(count, args.data());
  return RUN_ALL_TESTS();
}
