// SPDX-License-Identifier: MIT
// The main window's actions that reach beyond its lists: settings files, the font set image, the
// download, the communication port, the About box and closing.
#include <QAbstractButton>
#include <QFile>
#include <QPointer>
#include <vector>

#include "app/AboutDlg.h"
#include "app/MainDlg.h"
#include "app/RecentFolder.h"
#include "download/Download.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "catalogue/SettingsFile.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

constexpr std::string_view kImageFilter = "Fonts (*.shc) files | *.shc||";

}  // namespace

// While a download runs, its waits let the window take input: every button of the window is
// disabled (and closing ignored) so that no second operation starts inside the first.
class CMainDlg::OperationScope {
 public:
  explicit OperationScope(CMainDlg& window) : m_window(window) {
    m_window.m_operationRunning = true;
    for (QAbstractButton* button : m_window.findChildren<QAbstractButton*>()) {
      if (!button->isEnabled()) continue;
      button->setEnabled(false);
      m_disabled.emplace_back(button);
    }
  }
  ~OperationScope() {
    for (const QPointer<QAbstractButton>& button : m_disabled) {
      if (button) button->setEnabled(true);
    }
    m_window.m_operationRunning = false;
  }
  OperationScope(const OperationScope&) = delete;
  OperationScope& operator=(const OperationScope&) = delete;

 private:
  CMainDlg& m_window;
  std::vector<QPointer<QAbstractButton>> m_disabled;
};

void CMainDlg::SaveProfile() {
  // A profile that could not be read was reported at start; it is never saved over.
  if (!m_profile.LoadError().empty()) return;
  if (!m_profile.Save()) m_host.ShowMessage("The settings were not saved: " + m_profile.LastError(), MessageStyle::Plain);
}

FontSetJob CMainDlg::Job() const { return FontSetJob{m_host, m_profile, m_programFolder, m_portSettings}; }

void CMainDlg::LoadSettingsFile() {
  OpenDialogSpec spec;
  spec.parent = this;
  spec.title = QStringLiteral("Open");
  spec.nameFilter = ConvertFileFilter(LoadStr(IDS_KVF_FILTER));
  spec.defaultSuffix = QStringLiteral("kvf");
  RecentFolder recent(m_profile);
  spec.directory = recent.Folder();
  const std::optional<QString> path = m_openDialog(spec);
  if (!path) return;
  recent.Remember(*path);
  LoadSettingsFrom(*path);
}

void CMainDlg::LoadSettingsFrom(const QString& path) {
  // A file that cannot be read leaves the selection as it was.
  const FileResult result = corvelle::LoadSettingsFile(QFile::encodeName(path).toStdString(), m_programFolder, m_selection);
  if (!result) m_host.ShowMessage("The selection was not loaded: " + result.error, MessageStyle::Plain);
  ShowSelection();
  ClearSelectedPosition();
}

void CMainDlg::SaveSettingsFile() {
  SaveDialogRequest request;
  request.defaultExtension = "kvf";
  request.filter = std::string(LoadStr(IDS_KVF_FILTER));
  request.overwritePrompt = true;
  const std::optional<std::string> path = m_host.AskSavePath(request);
  if (!path) return;
  const FileResult result = corvelle::SaveSettingsFile(m_selection, *path);
  if (!result) m_host.ShowMessage("The selection was not saved: " + result.error, MessageStyle::Plain);
}

bool CMainDlg::BuildImage(bool legacy, const std::string& outputPath) {
  const BuildFunction& build = legacy ? m_actions.buildLegacyFontSet : m_actions.buildFontSet;
  return build && build(Job(), outputPath);
}

void CMainDlg::OnCreateDownloadFile() {
  // The builders read the selection from the profile, so it is stored first, whatever follows.
  StoreSelectionToProfile(m_selection, m_profile);
  SaveProfile();
  ControlsToState();
  const bool legacy = m_legacyFormat != 0;
  SaveDialogRequest request;
  request.suggestedName = legacy ? "FontSet.SHF" : "FontSet.SHC";
  request.defaultExtension = legacy ? "shf" : "shc";
  request.filter = std::string(kImageFilter);
  request.overwritePrompt = true;
  const std::optional<std::string> path = m_host.AskSavePath(request);
  if (!path) return;
  BuildImage(legacy, *path);
}

void CMainDlg::OnDownload() {
  if (m_operationRunning) return;
  const OperationScope scope(*this);
  // The image holds the selection as last stored, not what the lists show now.
  const bool legacy = m_legacyFormat != 0;
  if (!CheckPortName(m_host, m_portSettings.portName)) return;
  if (!BuildImage(legacy, std::string())) return;
  const DownloadFunction& download = legacy ? m_actions.downloadLegacyFontSet : m_actions.downloadFontSet;
  if (download) download(Job());
}

void CMainDlg::OnCommunicationPort() {
  CommPortServices services{m_probe, m_actions.setComPort, m_runDialog, {}};
  CCommPortDlg dialog(m_portSettings, m_host, std::move(services), this);
  if (m_runDialog(dialog) != QDialog::Accepted) return;
  m_portSettings = dialog.Settings();
  StorePortSettings(m_profile, m_portSettings);
  SaveProfile();
}

void CMainDlg::ShowAbout() {
  CAboutDlg about(this);
  m_runDialog(about);
}

void CMainDlg::accept() {
  if (m_operationRunning) return;
  StoreSelectionToProfile(m_selection, m_profile);
  ControlsToState();
  StoreCodePageChoice(m_profile, m_codePageChoice);
  SaveProfile();
  QDialog::accept();
}

void CMainDlg::reject() {
  if (m_operationRunning) return;
  QDialog::reject();
}

}  // namespace corvelle
