// SPDX-License-Identifier: MIT
// Start-up of the program.
#include "app/MainApp.h"

#include "app/FontRegistration.h"
#include "app/MainDlg.h"
#include "app/QtHost.h"
#include "base/Profile.h"

namespace corvelle {

CMainApp::CMainApp(std::string programFolder, std::string profilePath)
    : m_programFolder(std::move(programFolder)), m_profilePath(std::move(profilePath)) {}

int CMainApp::InitInstance() {
  QtHost host;
  RegisterProgramFonts(m_programFolder, host);
  Profile profile(m_profilePath);
  CMainDlg window(MainDlgContext{host, profile, m_programFolder, ProgramPrinterActions(profile), {}, {}, {}});
  // Message boxes and the progress window stand over the main window.
  host.SetMainWindow(&window);
  window.exec();
  return 0;
}

}  // namespace corvelle
