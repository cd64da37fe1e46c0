// SPDX-License-Identifier: MIT
// The main window: its controls, the exchange between them and the window's state, the two font
// lists and the preview.
#include "app/MainDlg.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QMimeData>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "app/AppIcon.h"
#include "app/ControlAccess.h"
#include "app/DialogUnits.h"
#include "app/SelectionListView.h"
#include "app/Text.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using namespace layouts;

// The radio buttons in the order of the code-page choices 0..5.
constexpr std::array<int, kCodePageChoices> kCodePageRadioIds = {IDC_CP1250, IDC_CP1251,        IDC_CP1252,
                                                                 IDC_CP1253, IDC_ALL_CODEPAGES, IDC_FACTORY_LIST};

// The preview's sample: in the script of the Cyrillic and Greek lists, the string table's otherwise.
QString PreviewSample(int codePageChoice) {
  switch (codePageChoice) {
    case 1: return QString::fromUtf8(u8"123 Образец");
    case 3: return QString::fromUtf8(u8"123 Δείγμα");
    default: return Latin1(LoadStr(IDS_PREVIEW_SAMPLE));
  }
}

// The one local settings file a drag carries, or empty.
QString DroppedSettingsFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl& url = data->urls().constFirst();
  if (!url.isLocalFile() || !url.toLocalFile().endsWith(QStringLiteral(".kvf"), Qt::CaseInsensitive)) return {};
  return url.toLocalFile();
}

}  // namespace

QFont MakePreviewFont(const PreviewFont& preview, const QFont& base) {
  QFont font(base);
  if (!preview.faceName.empty()) font.setFamily(Latin1(preview.faceName));
  if (preview.height > 0) font.setPixelSize(preview.height);
  font.setWeight(static_cast<QFont::Weight>(preview.weight));
  font.setItalic(preview.italic);
  font.setUnderline(preview.underline);
  font.setStrikeOut(false);
  return font;
}

CMainDlg::CMainDlg(MainDlgContext context, QWidget* parent)
    : QDialog(parent, Qt::Window),
      m_host(context.host),
      m_profile(context.profile),
      m_programFolder(std::move(context.programFolder)),
      m_actions(std::move(context.actions)),
      m_probe(std::move(context.probe)),
      m_runDialog(context.runDialog ? std::move(context.runDialog) : DialogRunner(RunModal)),
      m_openDialog(context.openDialog ? std::move(context.openDialog) : OpenDialogFunction(RunOpenDialog)),
      m_choose(context.choose ? std::move(context.choose)
                              : ChoiceFunction([this](const ChoiceQuestion& q) { return QtHost(this).Choose(q); })),
      m_codePageChoice(StoredCodePageChoice(m_profile)),
      m_portSettings(LoadPortSettings(m_profile)) {
  const TemplateControls controls = BuildDialog(this, kMainDialog);
  // The catalogue and the selection hold what the template's two hidden lists would.
  delete controls.Find(IDC_DETAIL_LIST);
  delete controls.Find(IDC_PATH_LIST);
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  Describe(controls, MainWindowDescriptions());

  m_available = controls.As<QListWidget>(IDC_AVAILABLE_LIST);
  m_selected = controls.As<QListWidget>(IDC_SELECTED_LIST);
  m_preview = controls.As<QLabel>(IDC_PREVIEW);
  m_legacyBox = controls.As<QCheckBox>(IDC_LEGACY);
  ShowPositionNumbers(m_selected);
  m_preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  m_preview->setAlignment(Qt::AlignCenter);
  // The arrows have no letter to underline: Alt with the arrow's direction presses them.
  controls.As<QPushButton>(IDC_ADD)->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  controls.As<QPushButton>(IDC_REMOVE)->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  for (int choice = 0; choice < kCodePageChoices; ++choice) {
    m_codePageRadios[choice] = controls.As<QRadioButton>(kCodePageRadioIds[choice]);
    // A click reloads the catalogue, also when the radio was checked already.
    connect(m_codePageRadios[choice], &QRadioButton::clicked, this, [this] {
      ControlsToState();
      LoadCatalogue();
    });
  }

  const auto onClick = [&](int id, void (CMainDlg::*handler)()) {
    connect(controls.As<QPushButton>(id), &QPushButton::clicked, this, handler);
  };
  MakeOneTabStop(m_codePageRadios);
  onClick(IDC_ADD, &CMainDlg::AddSelected);
  onClick(IDC_REMOVE, &CMainDlg::RemoveSelected);
  onClick(IDC_LOAD_SETTINGS, &CMainDlg::LoadSettingsFile);
  onClick(IDC_SAVE_SETTINGS, &CMainDlg::SaveSettingsFile);
  onClick(IDC_EMPTY_LIST, &CMainDlg::EmptySelection);
  onClick(IDC_CREATE_FILE, &CMainDlg::OnCreateDownloadFile);
  onClick(IDC_DOWNLOAD, &CMainDlg::OnDownload);
  onClick(IDC_COMM_PORT, &CMainDlg::OnCommunicationPort);
  onClick(IDC_ABOUT, &CMainDlg::ShowAbout);
  onClick(IDOK, &CMainDlg::accept);
  connect(m_legacyBox, &QCheckBox::clicked, this, &CMainDlg::EnforceLegacyLimit);
  connect(m_available, &QListWidget::itemSelectionChanged, this, &CMainDlg::PreviewCurrent);
  // Enter anywhere in the window but the lists is OK.
  Button(IDOK)->setDefault(true);
  SetUpListInput();

  StateToControls();
  LoadCatalogue();
  m_selection = LoadSelectionFromProfile(m_profile);
  m_storedSelection = m_selection;
  m_storedCodePageChoice = m_codePageChoice;
  ShowSelection();
}

QRadioButton* CMainDlg::CodePageRadio(int choice) const {
  return choice >= 0 && choice < kCodePageChoices ? m_codePageRadios[choice] : nullptr;
}

QPushButton* CMainDlg::Button(int id) const { return findChild<QPushButton*>(QString::number(id)); }

void CMainDlg::ControlsToState() {
  m_legacyFormat = m_legacyBox->isChecked() ? 1 : 0;
  const auto checked = std::find_if(m_codePageRadios.begin(), m_codePageRadios.end(),
                                    [](const QRadioButton* radio) { return radio->isChecked(); });
  m_codePageChoice = checked == m_codePageRadios.end() ? -1 : static_cast<int>(checked - m_codePageRadios.begin());
}

void CMainDlg::StateToControls() {
  m_legacyBox->setChecked(m_legacyFormat != 0);
  if (QRadioButton* radio = CodePageRadio(m_codePageChoice)) {
    radio->setChecked(true);
    return;
  }
  // A choice outside the group (an edited profile) checks no radio.
  for (QRadioButton* radio : m_codePageRadios) {
    radio->setAutoExclusive(false);
    radio->setChecked(false);
    radio->setAutoExclusive(true);
  }
}

void CMainDlg::LoadCatalogue() {
  m_catalogue = corvelle::LoadCatalogue(m_programFolder, m_codePageChoice);
  // Rebuilding the list leaves the preview showing the font it shows.
  const QSignalBlocker blocker(m_available);
  m_available->clear();
  for (const CatalogueEntry& entry : m_catalogue) m_available->addItem(Latin1(entry.listText));
}

void CMainDlg::ShowSelection() {
  if (m_selected->count() != kSelectionPositions) {
    m_selected->clear();
    for (int p = 0; p < kSelectionPositions; ++p) m_selected->addItem(QString());
  }
  for (int p = 0; p < kSelectionPositions; ++p) ShowPosition(m_selected, p, Latin1(m_selection[p].displayName));
}

std::optional<int> CMainDlg::SelectedPosition() const {
  const QList<QListWidgetItem*> items = m_selected->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  return m_selected->row(items.constFirst());
}

void CMainDlg::ClearSelectedPosition() {
  m_selected->clearSelection();
  m_selected->setCurrentRow(-1);
}

MessageAnswer CMainDlg::AskLegacyQuestion(const std::string& text) {
  ShowSelection();  // the user sees what would be freed
  return m_host.ShowMessage(text, MessageStyle::Question);
}

void CMainDlg::AddSelected() {
  AddRequest request;
  request.destination = SelectedPosition();
  for (const QModelIndex& index : m_available->selectionModel()->selectedRows()) {
    request.selectedIndices.push_back(index.row());
  }
  std::sort(request.selectedIndices.begin(), request.selectedIndices.end());
  // A list box's caret is on an item whenever the list holds any.
  request.hasCurrentAvailable = m_available->count() > 0;
  request.legacyFormat = m_legacyFormat != 0;
  const AddOutcome outcome = corvelle::AddSelected(m_selection, m_catalogue, m_programFolder, request,
                                                   [this](const std::string& text) { return AskLegacyQuestion(text); });
  if (outcome.refusal) {
    m_host.ShowMessage(outcome.refusal->text, MessageStyle::Plain);
    return;
  }
  m_legacyFormat = outcome.legacyFormat ? 1 : 0;
  ShowSelection();
  // The next fonts go after those just placed, without a new click on a position.
  if (outcome.clearDestination) {
    const int next = *request.destination + outcome.placed;
    if (next < kSelectionPositions) {
      SelectPosition(next);
    } else {
      ClearSelectedPosition();
    }
  }
  StateToControls();
}

void CMainDlg::RemoveSelected() {
  corvelle::RemoveSelected(m_selection, SelectedPosition());
  ShowSelection();
  ClearSelectedPosition();
}

void CMainDlg::EmptySelection() {
  corvelle::EmptySelection(m_selection);
  ShowSelection();
  ClearSelectedPosition();
}

void CMainDlg::EnforceLegacyLimit() {
  ControlsToState();
  const bool legacy = corvelle::EnforceLegacyLimit(m_selection, m_legacyFormat != 0,
                                                   [this](const std::string& text) { return AskLegacyQuestion(text); });
  m_legacyFormat = legacy ? 1 : 0;
  ShowSelection();
  StateToControls();
}

void CMainDlg::PreviewCurrent() {
  const int row = m_available->currentRow();
  std::optional<PreviewFont> decoded;
  if (row >= 0 && row < static_cast<int>(m_catalogue.size())) decoded = DecodePreview(m_catalogue[row].detailText);
  if (!decoded) {
    m_preview->clear();
    m_preview->setFont(font());
    return;
  }
  if (QFontDatabase::families().isEmpty()) {
    // Without any font there is nothing to preview in; the sample still shows.
    m_host.ShowMessage("Error", MessageStyle::Plain);
    m_preview->setFont(font());
  } else {
    m_preview->setFont(MakePreviewFont(*decoded, font()));
  }
  m_preview->setText(PreviewSample(m_codePageChoice));
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!m_operationRunning && !DroppedSettingsFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  const QString path = DroppedSettingsFile(event->mimeData());
  if (m_operationRunning || path.isEmpty()) return;
  event->acceptProposedAction();
  LoadSettingsFrom(path);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Window managers offer no place for the program's own system menu item: the window's
  // context menu carries it.
  if (m_operationRunning) return;
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  connect(menu->addAction(Latin1(LoadStr(IDS_ABOUT_MENU))), &QAction::triggered, this, &CMainDlg::ShowAbout);
  menu->popup(event->globalPos());
}

}  // namespace corvelle
