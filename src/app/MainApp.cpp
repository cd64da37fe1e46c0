// SPDX-License-Identifier: MIT
// Start-up of the program.
#include "app/MainApp.h"

#include "app/FontRegistration.h"
#include "app/MainDlg.h"
#include "app/QtHost.h"
#include "app/RecentFolder.h"
#include "base/Paths.h"
#include "base/Profile.h"

namespace corvelle {

CMainApp::CMainApp(std::string programFolder, std::string profilePath, QString settingsFile)
    : m_programFolder(std::move(programFolder)),
      m_profilePath(std::move(profilePath)),
      m_settingsFile(std::move(settingsFile)) {}

int CMainApp::InitInstance() {
  QtHost host;
  RegisterProgramFonts(m_programFolder, host);
  Profile profile(m_profilePath);
  if (const std::string problem = OwnFolderProblem(ParentFolder(m_profilePath)); !problem.empty()) {
    profile.Refuse(problem);
  }
  // Said once: the settings then live for this session only, and the file is never saved over.
  if (!profile.LoadError().empty()) {
    host.ShowMessage("The settings cannot be used: " + profile.LoadError(), MessageStyle::Exclamation);
  }
  RecentFolder recent(profile);
  host.SetRecentFolder(&recent);
  // The window's questions go through the host, after any message it still holds.
  CMainDlg window(MainDlgContext{host, profile, m_programFolder, ProgramPrinterActions(profile), {}, {}, {},
                                 [&host](const ChoiceQuestion& question) { return host.Choose(question); }});
  // Message boxes and the progress window stand over the main window.
  host.SetMainWindow(&window);
  if (!m_settingsFile.isEmpty()) window.LoadSettingsFrom(m_settingsFile);
  window.exec();
  // What OK said last (a profile that was not saved) is seen before the program ends.
  host.FlushMessages();
  return 0;
}

}  // namespace corvelle
