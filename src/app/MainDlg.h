// SPDX-License-Identifier: MIT
// CMainDlg: the program's window. It owns the catalogue of the chosen code page, the 112-position
// selection, the GN1 flag, the code-page choice and the port settings, and wires each control to
// the operation behind it. OK stores the window's changes to the selection and the code page; the close box and Escape
// store nothing. The selection reaches the builders only through the profile.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/DialogRunner.h"
#include "app/PrinterActions.h"
#include "app/QtHost.h"
#include "catalogue/FontCatalogue.h"
#include "catalogue/FontPreview.h"
#include "catalogue/FontSelection.h"
#include "ports/PortSettings.h"

class QCheckBox;
class QKeyEvent;
class QLabel;
class QListWidget;
class QMimeData;
class QPushButton;
class QRadioButton;

namespace corvelle {

class Host;
class Profile;

struct MainDlgContext {
  Host& host;                 // messages, save dialogs, the progress window
  Profile& profile;           // read when the window is made, written by OK and the actions
  std::string programFolder;  // FontExt/ is here
  PrinterActions actions;
  ReachabilityProbe probe;          // the port dialog's test; empty: the echo probe
  DialogRunner runDialog;           // how the window runs its dialogs; empty: exec()
  OpenDialogFunction openDialog;    // "Load settings"; empty: the file dialog
  ChoiceFunction choose;            // the window's own questions; empty: a message box
};

// The preview font of a decoded record: face (Qt's font matching stands in for a missing one),
// pixel height (0 keeps `base`'s size), weight, italic and underline.
QFont MakePreviewFont(const PreviewFont& preview, const QFont& base);

class CMainDlg : public QDialog {
  Q_OBJECT

 public:
  // Reads the port settings and the code-page choice from the profile, loads the catalogue and
  // the stored selection.
  explicit CMainDlg(MainDlgContext context, QWidget* parent = nullptr);

  // The window's state and operations, each as the control behind it runs it.
  void AddSelected();
  void RemoveSelected();
  void EmptySelection();
  void EnforceLegacyLimit();
  void PreviewCurrent();
  void LoadCatalogue();
  void LoadSettingsFile();
  // Loads the selection from the settings file at `path`, as "Load settings" does once the user
  // chose it (a dropped file, or one named on the command line).
  void LoadSettingsFrom(const QString& path);
  void SaveSettingsFile();
  void OnCreateDownloadFile();
  void OnDownload();
  void OnCommunicationPort();
  void ShowAbout();
  // OK (and Enter): stores the selection and the code page, saves the profile, ends.
  void accept() override;
  // The close box and Escape: with changes not yet stored, asks whether to store them, discard
  // them or stay; without, ends at once. Ignored while a download runs.
  void reject() override;
  // True when the selection or the code page shown differs from what the window last stored.
  bool HasUnstoredChanges();
  // Moves the font at position `from` to position `to`; a font already there takes `from`'s
  // place, so no font is lost and every other position keeps its own.
  void MovePosition(int from, int to);
  // Places the fonts selected in "Available fonts" from position `position` on, as "-->" does.
  void AddSelectedAt(int position);
  // What a drag that starts in `list` now carries: the fonts selected in "Available fonts", or
  // the selected list's current position; null when there is nothing to drag. A drop of it on a
  // position of the selected list places those fonts there, or moves that position's font.
  std::unique_ptr<QMimeData> DragData(QListWidget* list) const;

  const FontSelection& Selection() const { return m_selection; }
  const PortSettings& Port() const { return m_portSettings; }
  int CodePageChoice() const { return m_codePageChoice; }

  QListWidget* AvailableList() const { return m_available; }
  QListWidget* SelectedList() const { return m_selected; }
  QLabel* PreviewArea() const { return m_preview; }
  QCheckBox* LegacyBox() const { return m_legacyBox; }
  QRadioButton* CodePageRadio(int choice) const;
  // The window's push button with this control ID, or null.
  QPushButton* Button(int id) const;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class OperationScope;

  // Keys, double-clicks and dragging in the two lists, the window's shortcuts and its Tab order.
  void SetUpListInput();
  bool ListKey(QListWidget* list, const QKeyEvent& key);
  bool ListDrag(QListWidget* list, QEvent* event);
  void StartDrag(QListWidget* list);
  // Makes `row` the selected list's current position and shows it.
  void SelectPosition(int row);
  // Control values into the state (GN1 flag, code-page radio), and back.
  void ControlsToState();
  void StateToControls();
  void ShowSelection();
  std::optional<int> SelectedPosition() const;
  void ClearSelectedPosition();
  MessageAnswer AskLegacyQuestion(const std::string& text);
  FontSetJob Job() const;
  // Stores the window's changes to the selection over what the profile holds now (and with
  // `codePage` a changed code-page choice too); positions the window left alone keep what is
  // stored. When the stored selection changed under the window at a position the window changed
  // too, asks whether to replace it; with `shown` the selection shown is stored as a whole
  // without asking. False when the user chose to stay in the window.
  bool StoreChanges(bool codePage, bool shown = false);
  // Download's question when the stored selection, which the image is built from, is not the
  // one shown. False when the user cancelled.
  bool ChooseWhatToDownload();
  // UpdateStoredProfile, telling the user when it fails.
  bool UpdateProfile(const std::function<bool(Profile&)>& change);

  Host& m_host;
  Profile& m_profile;
  std::string m_programFolder;
  PrinterActions m_actions;
  ReachabilityProbe m_probe;
  DialogRunner m_runDialog;
  OpenDialogFunction m_openDialog;
  ChoiceFunction m_choose;

  FontCatalogue m_catalogue;
  FontSelection m_selection;
  // What the profile held when the window read or last stored it: the window's own changes are
  // the differences from these.
  FontSelection m_storedSelection;
  int m_storedCodePageChoice = 0;
  int m_legacyFormat = 0;
  int m_codePageChoice = 0;
  PortSettings m_portSettings;
  bool m_operationRunning = false;
  QPoint m_dragStart{-1, -1};  // where the left button went down in a list, for a drag

  QListWidget* m_available = nullptr;
  QListWidget* m_selected = nullptr;
  QLabel* m_preview = nullptr;
  QCheckBox* m_legacyBox = nullptr;
  std::array<QRadioButton*, kCodePageChoices> m_codePageRadios{};
};

}  // namespace corvelle
