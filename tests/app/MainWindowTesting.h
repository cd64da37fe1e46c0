// A main window over a temporary program folder and profile, with every dialog, message and
// printer action replaced by recorders, for the window tests.
#pragma once

#include <QListWidget>
#include <QPushButton>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/MainDlg.h"
#include "base/Profile.h"
#include "catalogue/CatalogueTesting.h"
#include "catalogue/SelectionProfile.h"
#include "resources/Layouts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

// Six fonts on Win1252, three on Win1250. Font C previews 12 pixels high, bold, underlined.
inline std::string Index1252() {
  return IndexRecord({"fa", "DejaVu Sans", "Font A", 1, 10, 0, 0, 0, 0}) +
         IndexRecord({"fb", "DejaVu Serif", "Font B", 2, 14, 1, 0, 1, 0}) +
         IndexRecord({"fc", "DejaVu Sans", "Font C", 3, 12, 0, 1, 0, 1}) +
         IndexRecord({"fd", "DejaVu Sans Mono", "Font D", 4, 0, 0, 0, 0, 0}) +
         IndexRecord({"fe", "No Such Face", "Font E", 5, 20, 0, 0, 0, 0}) +
         IndexRecord({"ff", "DejaVu Sans", "Font F", 6, 16, 0, 0, 0, 0});
}
inline std::string Index1250() {
  return IndexRecord({"ea", "DejaVu Sans", "East A", 1, 10, 0, 0, 0, 0}) +
         IndexRecord({"eb", "DejaVu Sans", "East B", 2, 10, 0, 0, 0, 0}) +
         IndexRecord({"ec", "DejaVu Sans", "East C", 3, 10, 0, 0, 0, 0});
}

struct BuildCall {
  bool legacy;
  std::string outputPath;
  FontSelection stored;  // the selection in the profile when the builder ran
};

class MainWindowFixture {
 public:
  MainWindowFixture() {
    folder.Write("FontExt/Index1252.shi", Index1252());
    folder.Write("FontExt/Index1250.shi", Index1250());
    profilePath = folder.File("corvelle.ini");
  }

  // The window on the profile as it is on disk now.
  CMainDlg& Open() {
    window.reset();
    profile = std::make_unique<Profile>(profilePath);
    MainDlgContext context{host, *profile, folder.Path(), programActions ? ProgramPrinterActions(*profile) : Actions(),
                           {}, {}, {}};
    context.probe = [](const std::string&) { return false; };
    context.runDialog = [this](QDialog& dialog) {
      dialogs.push_back(dialog.metaObject()->className());
      return dialogAnswer ? dialogAnswer(dialog) : static_cast<int>(QDialog::Rejected);
    };
    context.openDialog = [this](const OpenDialogSpec& spec) {
      openSpecs.push_back(spec);
      std::optional<QString> path;
      if (!openPaths.empty()) {
        path = openPaths.front();
        openPaths.pop_front();
      }
      return path;
    };
    window = std::make_unique<CMainDlg>(std::move(context));
    window->show();
    return *window;
  }

  PrinterActions Actions() {
    PrinterActions actions;
    const auto build = [this](bool legacy) {
      return [this, legacy](const FontSetJob& job, const std::string& outputPath) {
        builds.push_back({legacy, outputPath, LoadSelectionFromProfile(job.profile)});
        return buildSucceeds;
      };
    };
    const auto download = [this](bool legacy) {
      return [this, legacy](const FontSetJob& job) {
        downloads.push_back(legacy);
        downloadPorts.push_back(job.port);
        if (duringDownload) duringDownload();
        return true;
      };
    };
    actions.buildFontSet = build(false);
    actions.buildLegacyFontSet = build(true);
    actions.downloadFontSet = download(false);
    actions.downloadLegacyFontSet = download(true);
    actions.setComPort = [](Host&, const PortSettings&, const SerialPositions& chosen) {
      return std::optional<SerialPositions>(chosen);
    };
    return actions;
  }

  // The profile on disk, read afresh.
  Profile Stored() const { return Profile(profilePath); }

  void Click(int id) { window->Button(id)->click(); }
  void SelectAvailable(std::initializer_list<int> rows) {
    window->AvailableList()->clearSelection();
    for (int row : rows) window->AvailableList()->item(row)->setSelected(true);
  }
  void SelectPosition(int position) { window->SelectedList()->setCurrentRow(position); }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const RecordedMessage& message : host.messages) texts.push_back(message.text);
    return texts;
  }
  std::string FontPath(std::string_view base) const { return folder.File("FontExt/" + std::string(base) + ".she"); }

  TempDir folder;
  std::string profilePath;
  FakeHost host;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<CMainDlg> window;

  std::vector<std::string> dialogs;  // class names of the dialogs the window ran
  std::function<int(QDialog&)> dialogAnswer;
  std::deque<std::optional<QString>> openPaths;
  std::vector<OpenDialogSpec> openSpecs;
  bool buildSucceeds = true;
  std::vector<BuildCall> builds;
  std::vector<bool> downloads;
  std::vector<PortSettings> downloadPorts;
  std::function<void()> duringDownload;
  bool programActions = false;  // the program's own builders instead of the recorders
};

}  // namespace corvelle::test
