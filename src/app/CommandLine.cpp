// SPDX-License-Identifier: MIT
// Reading the window program's command line.
#include "app/CommandLine.h"

#include <QCommandLineParser>

#include "base/Version.h"

namespace corvelle {
namespace {

const char* const kHelp =
    "Usage: corvelle [OPTIONS] [FILE.kvf]\n"
    "\n"
    "The Corvelle window: builds font set images for KERV printers and sends them to the\n"
    "printer. FILE.kvf is a selection settings file to load at the start.\n"
    "\n"
    "Options:\n"
    "  -h, --help     this text\n"
    "  -v, --version  the program's version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are taken too.\n";

}  // namespace

WindowArguments ParseWindowArguments(const QStringList& arguments, bool early) {
  QCommandLineParser parser;
  // Qt's options are single-dash words; ours read the same way, so "-reverse" is no "-v".
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("selection settings file"), QStringLiteral("[FILE.kvf]"));
  const bool parsed = parser.parse(arguments);

  WindowArguments result;
  if (parser.isSet(help)) {
    result.action = WindowArguments::Action::Help;
    result.text = QString::fromLatin1(kHelp);
  } else if (parser.isSet(version)) {
    result.action = WindowArguments::Action::Version;
    result.text = QStringLiteral("corvelle %1\n").arg(QString::fromLatin1(ProgramVersion()));
  } else if (early) {
    return result;
  } else if (!parsed || parser.positionalArguments().size() > 1) {
    result.action = WindowArguments::Action::UsageError;
    result.text = QStringLiteral("corvelle: %1\nusage: corvelle [--help] [--version] [FILE.kvf]\n")
                      .arg(parsed ? QStringLiteral("only one file may be given") : parser.errorText());
  } else if (!parser.positionalArguments().isEmpty()) {
    result.settingsFile = parser.positionalArguments().front();
  }
  return result;
}

}  // namespace corvelle
