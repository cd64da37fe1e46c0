// SPDX-License-Identifier: MIT
// corvelle: the window program. `corvelle [FILE.kvf]` opens the window with that selection loaded.
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/MainApp.h"
#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/Version.h"

int main(int argc, char** argv) {
  // A file-size limit then fails the write that meets it, which the user is told about.
  corvelle::IgnoreFileSizeSignal();
  QApplication app(argc, argv);
  // QApplication has taken its own options out; what is left is the program's.
  const QStringList args = QApplication::arguments().mid(1);
  if (args == QStringList{QStringLiteral("--version")}) {
    std::printf("corvelle %s\n", corvelle::ProgramVersion());
    return 0;
  }
  if (args.size() > 1 || (args.size() == 1 && args.front().startsWith(QLatin1Char('-')))) {
    std::fprintf(stderr, "usage: corvelle [FILE.kvf]\n");
    return 2;
  }
  corvelle::CMainApp program(corvelle::ProgramFolder(), corvelle::DefaultProfilePath(),
                             args.isEmpty() ? QString() : args.front());
  return program.InitInstance();
}
