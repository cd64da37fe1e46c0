// SPDX-License-Identifier: MIT
// CMainApp: the program. It makes the seven program fonts available, then runs the main window
// modally; when the window ends, the program ends.
#pragma once

#include <string>

namespace corvelle {

class CMainApp {
 public:
  // The program folder holds FontExt/ and fonts/; the profile is the per-user INI file.
  CMainApp(std::string programFolder, std::string profilePath);

  // Runs the program on the QApplication that exists; answers the process exit status.
  int InitInstance();

 private:
  std::string m_programFolder;
  std::string m_profilePath;
};

}  // namespace corvelle
