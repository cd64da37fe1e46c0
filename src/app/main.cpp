// SPDX-License-Identifier: MIT
// corvelle: the window program.
#include <QApplication>

#include "app/MainApp.h"
#include "base/Paths.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  corvelle::CMainApp program(corvelle::ProgramFolder(), corvelle::DefaultProfilePath());
  return program.InitInstance();
}
