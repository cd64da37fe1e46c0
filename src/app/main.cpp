// SPDX-License-Identifier: MIT
// corvelle: the window program. `corvelle [FILE.kvf]` opens the window with that selection loaded.
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/MainApp.h"
#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/TempFiles.h"

namespace {

// Prints the text of Help, Version or a usage error; the exit status, or -1 to go on.
int Answer(const corvelle::WindowArguments& args) {
  using Action = corvelle::WindowArguments::Action;
  if (args.action == Action::Run) return -1;
  const QByteArray text = args.text.toLocal8Bit();
  std::fputs(text.constData(), args.action == Action::UsageError ? stderr : stdout);
  return args.action == Action::UsageError ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit then fails the write that meets it, which the user is told about.
  corvelle::IgnoreFileSizeSignal();
  // --help and --version are answered before the QApplication, which needs a display.
  QStringList raw;
  for (int i = 0; i < argc; ++i) raw.append(QString::fromLocal8Bit(argv[i]));
  if (const int status = Answer(corvelle::ParseWindowArguments(raw, true)); status >= 0) return status;

  QApplication app(argc, argv);
  // QApplication has taken its own options out; what is left is the program's.
  const corvelle::WindowArguments args = corvelle::ParseWindowArguments(QApplication::arguments());
  if (const int status = Answer(args); status >= 0) return status;
  corvelle::RemoveStaleTemporaryFiles(corvelle::ProgramFolder(), corvelle::DefaultProfilePath());
  corvelle::CMainApp program(corvelle::ProgramFolder(), corvelle::DefaultProfilePath(), args.settingsFile);
  return program.InitInstance();
}
