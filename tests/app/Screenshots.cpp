// SPDX-License-Identifier: MIT
// Writes pictures of the windows into a folder, for looking at them: the main window on the
// sample fonts, the progress window during a download to kerv-printer-sim, the communication
// port dialog (COM and TCP/IP), the serial setup dialog, the About box and the LED button in
// its states.
// Usage: corvelle_screenshots OUTPUT_FOLDER PROGRAM_FOLDER
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <cstdio>
#include <utility>

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"
#include "app/FontRegistration.h"
#include "app/LedButton.h"
#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "FakeClockHost.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "app/CommPortDlg.h"
#include "app/SerialSetupDlg.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
  widget.show();
  QApplication::setActiveWindow(&widget);  // no window manager gives the focus here
  QApplication::processEvents();
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  widget.hide();
  return saved;
}

// One LED button per state, captioned.
QWidget* LedSheet() {
  auto* sheet = new QWidget;
  sheet->setWindowTitle(QStringLiteral("LED states"));
  auto* grid = new QGridLayout(sheet);
  struct Case {
    const char* caption;
    int state;
    bool enabled;
    bool pushed;
    std::uint32_t style;
    const char* text;
    bool hovered = false;
    bool focused = false;
  };
  const Case cases[] = {
      {"off (grey, port dialog start)", 0, true, false, 0, ""},
      {"on red", 1, true, false, 0, ""},
      {"state 5 (on)", 5, true, false, 0, ""},
      {"disabled", 1, false, false, 0, ""},
      {"pushed", 1, true, true, 0, ""},
      {"text right of LED", 1, true, false, 0, "Ready"},
      {"text left (0x20)", 1, true, false, CLedButton::kTextOnLeft, "Ready"},
      {"disabled text", 0, false, false, 0, "Ready"},
      {"hovered (rounded corners)", 1, true, false, 0, "Ready", true},
      {"focused", 1, true, false, 0, "Ready", false, true},
  };
  CLedButton* focused = nullptr;
  int row = 0;
  for (const Case& c : cases) {
    auto* led = new CLedButton(sheet);
    led->SetLedColors(0x0000FF, 0xA0A0A0);
    led->SetLedSize(20);
    led->SetLedState(c.state);
    led->setEnabled(c.enabled);
    led->setDown(c.pushed);
    led->SetButtonStyle(c.style);
    led->setText(QString::fromLatin1(c.text));
    led->setFixedSize(90, 28);
    grid->addWidget(new QLabel(QString::fromLatin1(c.caption), sheet), row, 0);
    grid->addWidget(led, row, 1);
    if (c.hovered) {
      QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), led->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
      QApplication::sendEvent(led, &move);
    }
    if (c.focused) focused = led;
    ++row;
  }
  if (focused != nullptr) sheet->setFocusProxy(focused);
  return sheet;
}

// A profile whose stored selection holds the first fonts of the Win1252 list.
void SeedSelection(Profile& profile, const std::string& programFolder) {
  const FontCatalogue catalogue = LoadCatalogue(programFolder, kDefaultCodePageChoice);
  FontSelection selection;
  for (size_t i = 0; i < catalogue.size() && i < 6; ++i) {
    selection[i] = {catalogue[i].listText, FontPathOf(programFolder, catalogue[i])};
  }
  StoreSelectionToProfile(selection, profile);
}

// The progress window as it stands over the main window, without hiding it afterwards.
bool SaveShown(QWidget& widget, const QDir& folder, const QString& name) {
  QApplication::processEvents();
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// A download to kerv-printer-sim on loopback, pictured at 40 % and then stopped.
bool DownloadShot(const QDir& out, CMainDlg& window, test::FakeClockHost& host) {
  bool shot = false;
  bool saved = false;
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (shot || progress == nullptr || progress->ProgressBar()->value() < 40) return;
    shot = true;
    saved = SaveShown(*progress, out, QStringLiteral("progress"));
    progress->StopButton()->click();
  };
  window.show();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  host.onTick = nullptr;
  if (!shot) std::printf("the download did not reach 40 %% (the echo test needs root): no progress picture\n");
  return shot && saved;
}

bool MainWindowShots(const QDir& out, const std::string& programFolder, test::FakeClockHost& host) {
  const test::SimProcess sim({"--port", "0"});
  const test::TempDir temp;
  Profile profile(temp.File("corvelle.ini"));
  SeedSelection(profile, programFolder);
  PortSettings port;
  port.portName = "TCP/IP";
  port.ipAddress = "127.0.0.1";
  port.ipPort = sim.Port();
  StorePortSettings(profile, port);

  CMainDlg window(MainDlgContext{host, profile, programFolder, ProgramPrinterActions(profile), {}, {}, {}});
  host.SetMainWindow(&window);
  bool ok = sim.Started() && DownloadShot(out, window, host);
  window.AvailableList()->setCurrentRow(9);  // a bold font in the preview
  window.SelectedList()->setCurrentRow(6);
  ok &= Save(window, out, QStringLiteral("main-window"));

  CommPortServices services;
  services.probe = [](const std::string&) { return true; };  // never leaves the machine
  CCommPortDlg com(LoadPortSettings(Profile()), host, services, &window);
  ok &= Save(com, out, QStringLiteral("comm-port-com"));
  CCommPortDlg tcp(port, host, services, &window);
  tcp.OnTcpIpTest();
  ok &= Save(tcp, out, QStringLiteral("comm-port-tcpip"));
  return ok;
}

int Run(const QDir& out, const std::string& programFolder) {
  test::FakeClockHost host;
  // Messages are printed, not shown: nothing may wait for a click here.
  host.SetMessageBoxFunction([](const MessageBoxRequest& request) {
    std::printf("message: %s\n", qPrintable(request.text));
    return QMessageBox::Ok;
  });
  RegisterProgramFonts(programFolder, host);
  bool ok = MainWindowShots(out, programFolder, host);

  CProgressDlg progress;
  progress.SetMessage("Upgrading printer...");
  progress.SetRange(0, 100);
  progress.SetPosition(100);
  progress.SetStatus("End of process, wait please...");
  ok &= Save(progress, out, QStringLiteral("progress-full"));

  CSerialSetupDlg setup;
  setup.speedIndex = 5;
  setup.parityIndex = 2;
  setup.dataBitsIndex = 1;
  setup.stopBitsIndex = 0;
  ok &= Save(setup, out, QStringLiteral("serial-setup"));

  CAboutDlg about;
  ok &= Save(about, out, QStringLiteral("about"));

  QWidget* leds = LedSheet();
  ok &= Save(*leds, out, QStringLiteral("led-states"));
  delete leds;
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: corvelle_screenshots OUTPUT_FOLDER PROGRAM_FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
    return 1;
  }
  return corvelle::Run(QDir(folder), argv[2]);
}
