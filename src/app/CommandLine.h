// SPDX-License-Identifier: MIT
// The window program's command line: `corvelle [FILE.kvf]`, --help and --version, read with
// QCommandLineParser. Help and version are answered before the QApplication exists, so they need
// no display.
#pragma once

#include <QString>
#include <QStringList>

namespace corvelle {

struct WindowArguments {
  enum class Action { Run, Help, Version, UsageError } action = Action::Run;
  QString settingsFile;  // the .kvf file to load, or empty
  QString text;          // what Help, Version and UsageError print
};

// `arguments` with the program name first. Qt's own options (-platform, -style, ...) are to be
// taken out first by QApplication; `early` reads a command line they may still be in, and then
// answers only Help and Version (else Run).
WindowArguments ParseWindowArguments(const QStringList& arguments, bool early = false);

}  // namespace corvelle
