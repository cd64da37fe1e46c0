// SPDX-License-Identifier: MIT
// Entry point of the window tests: one QApplication for all of them, offscreen unless a platform
// was chosen. The platform goes to Qt as its -platform option, which also reaches a Windows
// program under Wine, where the environment variable does not.
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
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    args.insert(args.begin() + 1, {platformOption, offscreen});
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  QApplication app(count, args.data());
  return RUN_ALL_TESTS();
}
