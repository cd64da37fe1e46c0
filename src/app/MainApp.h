// SPDX-License-Identifier: MIT
// CMainApp: the program. It makes the seven program fonts available, then runs the main window
// modally; when the window ends, the program ends. A settings file named on the command line
// is loaded into the window first, as "Load settings" would.
#pragma once

#include <QString>
#include <string>

namespace corvelle {

class CMainApp {
 public:
  // The program folder holds FontExt/ and fonts/; the profile is the per-user INI file.
  CMainApp(std::string programFolder, std::string profilePath, QString settingsFile = {});

  // Runs the program on the QApplication that exists; answers the process exit status.
  int InitInstance();

 private:
  std::string m_programFolder;
  std::string m_profilePath;
  QString m_settingsFile;
};

}  // namespace corvelle
