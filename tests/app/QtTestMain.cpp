// SPDX-License-Identifier: MIT
// Entry point of the window tests: one QApplication for all of them, offscreen unless a platform
// was chosen.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  corvelle::test::IsolateUserFolders();
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
