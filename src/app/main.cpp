// SPDX-License-Identifier: MIT
// corvelle: the window program.
#include <QApplication>

#include "app/MainApp.h"
#include "base/FileWrite.h"
#include "base/Paths.h"

int main(int argc, char** argv) {
  // A file-size limit then fails the write that meets it, which the user is told about.
  corvelle::IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  corvelle::CMainApp program(corvelle::ProgramFolder(), corvelle::DefaultProfilePath());
  return program.InitInstance();
}
