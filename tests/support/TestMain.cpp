// SPDX-License-Identifier: MIT
// The main of the GoogleTest binaries: isolates the per-user folders, then runs the tests.
#include <gtest/gtest.h>

#include "support/TempDir.h"

int main(int argc, char** argv) {
  corvelle::test::IsolateUserFolders();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
