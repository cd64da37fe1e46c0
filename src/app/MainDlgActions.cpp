// SPDX-License-Identifier: MIT
// The main window's actions that reach beyond its lists: settings files, the font set image, the
// download, the communication port, the About box and closing.
#include <QAbstractButton>
#include <QPointer>
#include <vector>

#include "app/AboutDlg.h"
#include "app/FileNames.h"
#include "app/MainDlg.h"
#include "app/RecentFolder.h"
#include "app/StoredProfile.h"
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

bool CMainDlg::UpdateProfile(const std::function<bool(Profile&)>& change) {
  // A profile that could not be read was reported at start; it is never saved over.
  if (!m_profile.LoadError().empty()) return false;
  const Outcome updated = UpdateStoredProfile(m_profile, change);
  if (!updated) m_host.ShowMessage("The settings were not saved: " + updated.message, MessageStyle::Plain);
  return static_cast<bool>(updated);
}

bool CMainDlg::StoreChanges(bool codePage, bool shown) {
  ControlsToState();
  if (!m_profile.LoadError().empty()) return true;
  // The question is asked before the lock is taken, so that other runs are not held up while
  // the user thinks; the answer then applies to the profile as it is read under the lock.
  enum class Take { Merged, Shown, Stored } take = shown ? Take::Shown : Take::Merged;
  if (!shown) {
    const SelectionMerge merge =
        MergeSelections(m_storedSelection, m_selection, LoadSelectionFromProfile(Profile(m_profile.Path())));
    if (!merge.conflicts.empty()) {
      ChoiceQuestion question;
      question.text = "The stored selection was changed by another program while this window was open (positions " +
                      merge.conflicts + "). Replace it with the fonts shown?";
      question.detail = "Replace stores the fonts shown; Keep keeps the stored selection and shows it.";
      question.first = "Replace";
      question.second = "Keep";
      const Choice answer = m_choose(question);
      if (answer == Choice::Cancel) return false;
      take = answer == Choice::First ? Take::Shown : Take::Stored;
    }
  }
  FontSelection result = m_selection;
  const bool stored = UpdateProfile([&](Profile& fresh) {
    const FontSelection current = LoadSelectionFromProfile(fresh);
    switch (take) {
      case Take::Merged: result = MergeSelections(m_storedSelection, m_selection, current).merged; break;
      case Take::Shown: result = m_selection; break;
      case Take::Stored: result = current; break;
    }
    StoreSelectionToProfile(result, fresh);
    // The choice shown is stored when the window changed it, or when none is stored yet.
    if (codePage && (m_codePageChoice != m_storedCodePageChoice || !fresh.HasKey(kPortSection, kCodePageKey))) {
      StoreCodePageChoice(fresh, m_codePageChoice);
    }
    return true;
  });
  if (!stored) return true;
  m_storedSelection = result;
  if (codePage) m_storedCodePageChoice = m_codePageChoice;
  if (m_selection != result) {
    m_selection = result;
    ShowSelection();
    ClearSelectedPosition();
  }
  return true;
}

bool CMainDlg::ChooseWhatToDownload() {
  // The image is built from the selection the window last read or stored.
  if (LoadSelectionFromProfile(m_profile) == m_selection) return true;
  ChoiceQuestion question;
  question.text = "The fonts shown are not the stored selection, which the printer would get. Store the fonts shown "
                  "and download them?";
  question.detail = "Download stored sends the stored selection and leaves the fonts shown as they are.";
  question.first = "Store and download";
  question.second = "Download stored";
  question.preferred = Choice::First;
  switch (m_choose(question)) {
    case Choice::First: return StoreChanges(false, true) && LoadSelectionFromProfile(m_profile) == m_selection;
    case Choice::Second: return true;
    case Choice::Cancel: break;
  }
  return false;
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
  const Outcome result = corvelle::LoadSettingsFile(EngineFileName(path), m_programFolder, m_selection);
  if (!result.Ok()) m_host.ShowMessage("The selection was not loaded: " + result.message, MessageStyle::Plain);
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
  const Outcome result = corvelle::SaveSettingsFile(m_selection, *path);
  if (!result.Ok()) m_host.ShowMessage("The selection was not saved: " + result.message, MessageStyle::Plain);
}

void CMainDlg::OnCreateDownloadFile() {
  // The builders read the selection from the profile, so it is stored first, whatever follows.
  if (!StoreChanges(false)) return;
  const bool legacy = m_legacyFormat != 0;
  SaveDialogRequest request;
  request.suggestedName = legacy ? "FontSet.SHF" : "FontSet.SHC";
  request.defaultExtension = legacy ? "shf" : "shc";
  request.filter = std::string(kImageFilter);
  request.overwritePrompt = true;
  const std::optional<std::string> path = m_host.AskSavePath(request);
  if (!path) return;
  const BuildFunction& build = legacy ? m_actions.buildLegacyFontSet : m_actions.buildFontSet;
  if (build) build(Job(), *path);
}

void CMainDlg::OnDownload() {
  if (m_operationRunning) return;
  const OperationScope scope(*this);
  // The image holds the selection as stored; when that is not what the lists show, the user
  // chooses which one goes, once the port name has passed.
  if (m_actions.download) m_actions.download(Job(), m_legacyFormat != 0, [this] { return ChooseWhatToDownload(); });
}

void CMainDlg::OnCommunicationPort() {
  CommPortServices services{m_probe, m_actions.setComPort, m_runDialog, {}};
  CCommPortDlg dialog(m_portSettings, m_host, std::move(services), this);
  if (m_runDialog(dialog) != QDialog::Accepted) return;
  m_portSettings = dialog.Settings();
  UpdateProfile([this](Profile& fresh) {
    StorePortSettings(fresh, m_portSettings);
    return true;
  });
}

void CMainDlg::ShowAbout() {
  CAboutDlg about(this);
  m_runDialog(about);
}

void CMainDlg::accept() {
  if (m_operationRunning) return;
  if (!StoreChanges(true)) return;
  QDialog::accept();
}

bool CMainDlg::HasUnstoredChanges() {
  ControlsToState();
  return m_selection != m_storedSelection || m_codePageChoice != m_storedCodePageChoice;
}

void CMainDlg::reject() {
  if (m_operationRunning) return;
  if (HasUnstoredChanges()) {
    ChoiceQuestion question;
    question.text = "Store the changes to the selection before closing?";
    question.detail = "Discard closes the window and drops the changes; Cancel goes back to the window.";
    question.first = "Store";
    question.second = "Discard";
    switch (m_choose(question)) {
      case Choice::First:
        // As OK: the window ends only once its changes are stored.
        accept();
        return;
      case Choice::Second: break;
      case Choice::Cancel: return;
    }
  }
  QDialog::reject();
}

}  // namespace corvelle
