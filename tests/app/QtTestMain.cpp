// SPDX-License-Identifier: MIT
// Entry point of the window tests: one QApplication for all of them, offscreen unless a platform
// was chosen (a -platform option, as a child run is given, outweighs the variable). On Windows the
// offscreen platform finds fonts only in a folder it is given: the DejaVu fonts the Linux tests
// use, which Wine shows on drive Z:.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  corvelle::test::IsolateUserFolders();
  ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
  if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) qputenv("QT_QPA_FONTDIR", "Z:\\usr\\share\\fonts\\truetype\\dejavu");
#endif
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
