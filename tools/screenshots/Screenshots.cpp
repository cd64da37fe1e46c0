// SPDX-License-Identifier: MIT
// Writes pictures of the windows into a folder, for looking at them: the main window on the
// sample fonts (also with a dark palette), the progress window during a download to
// kerv-printer-sim and in a pause, the communication port dialog (COM with serial devices by
// name, and TCP/IP), the serial setup dialog, the About box and the LED button in its states.
// Usage: corvelle_screenshots OUTPUT_FOLDER PROGRAM_FOLDER [--main-only NAME]
// (--main-only: the main window alone, as NAME.png; run with QT_SCALE_FACTOR=2 for the 2x picture)
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QStyleFactory>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"
#include "app/FontRegistration.h"
#include "app/LedButton.h"
#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "FakeClockHost.h"
#include "LoopbackActions.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "app/CommPortDlg.h"
#include "app/SerialSetupDlg.h"
#include "support/TempDir.h"
#ifndef _WIN32
#include "tools/SimProcess.h"
#endif

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

#ifndef _WIN32
// The progress window as it stands over the main window, without hiding it afterwards.
bool SaveShown(QWidget& widget, const QDir& folder, const QString& name) {
  QApplication::processEvents();
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// A download to kerv-printer-sim on loopback, pictured in its first pause and at 40 %, then stopped.
bool DownloadShot(const QDir& out, CMainDlg& window, test::FakeClockHost& host) {
  bool paused = false, shot = false, saved = true;
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (shot || progress == nullptr) return;
    if (!paused && progress->StatusLine()->text() == QStringLiteral("Waiting for the printer: 8 s")) {
      paused = true;
      saved &= SaveShown(*progress, out, QStringLiteral("progress-pause"));
    }
    if (progress->ProgressBar()->value() < 40) return;
    shot = true;
    saved &= SaveShown(*progress, out, QStringLiteral("progress"));
    progress->StopButton()->click();
  };
  window.show();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  host.onTick = nullptr;
  if (!shot || !paused) std::printf("the download did not reach its pause and 40 %%: no progress pictures\n");
  return paused && shot && saved;
}

// Links to character devices standing for serial adapters, in a made-up /dev.
void FakeSerialDevices(const std::string& dev) {
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(dev) / "serial" / "by-id");
  fs::create_symlink("/dev/null", fs::path(dev) / "ttyUSB0");
  fs::create_symlink("/dev/zero", fs::path(dev) / "ttyACM0");
  fs::create_symlink("../../ttyUSB0", fs::path(dev) / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A10KJ3P2-if00-port0");
}
#endif

// On Windows the download is left out (kerv-printer-sim is a Linux program) and the port list
// shows the serial ports the registry names.
bool MainWindowShots(const QDir& out, const std::string& programFolder, test::FakeClockHost& host) {
#ifndef _WIN32
  const test::SimProcess sim({"--port", "0"});
#endif
  const test::TempDir temp;
  Profile profile(temp.File("corvelle.ini"));
  SeedSelection(profile, programFolder);
  PortSettings port;
  port.portName = "TCP/IP";
  port.ipAddress = "127.0.0.1";
#ifndef _WIN32
  port.ipPort = sim.Port();
#endif
  StorePortSettings(profile, port);

  CMainDlg window(MainDlgContext{host, profile, programFolder, test::LoopbackActions(profile), {}, {}, {}, {}});
  host.SetMainWindow(&window);
#ifdef _WIN32
  bool ok = true;
#else
  bool ok = sim.Started() && DownloadShot(out, window, host);
#endif
  window.AvailableList()->setCurrentRow(9);  // a bold font in the preview
  window.SelectedList()->setCurrentRow(6);
  ok &= Save(window, out, QStringLiteral("main-window"));

  CommPortServices services;
  services.probe = [](const std::string&) { return true; };  // never leaves the machine
  services.deviceFolder = temp.File("dev");
#ifndef _WIN32
  FakeSerialDevices(services.deviceFolder);
#endif
  CCommPortDlg com(LoadPortSettings(Profile()), host, services, &window);
  ok &= Save(com, out, QStringLiteral("comm-port-com"));
  PortSettings adapter = LoadPortSettings(Profile());
#ifdef _WIN32
  adapter.portName = "COM3:";
#else
  adapter.portName = temp.File("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KJ3P2-if00-port0");
#endif
  CCommPortDlg devices(adapter, host, services, &window);
  devices.show();
  QApplication::setActiveWindow(&devices);
  devices.PortList()->showPopup();
  QApplication::processEvents();
  // The open list is a window of its own: the dialog with it drawn in place.
  QPixmap picture = devices.grab();
  QWidget* popup = devices.PortList()->view()->window();
  QPixmap composed(picture.width() + popup->width(), std::max(picture.height(), popup->height()));
  composed.fill(Qt::white);
  {
    QPainter painter(&composed);
    painter.drawPixmap(0, 0, picture);
    painter.drawPixmap(picture.width(), 0, popup->grab());
  }
  devices.PortList()->hidePopup();
  const QString path = out.filePath(QStringLiteral("comm-port-devices.png"));
  const bool devicesSaved = composed.save(path);
  std::printf("%s %s\n", devicesSaved ? "wrote" : "FAILED", qPrintable(path));
  ok &= devicesSaved;
  devices.hide();
  // The README shows this picture beside "type 127.0.0.1 and port 4001": a simulator on that
  // port when it is free, else the one of the download above.
#ifndef _WIN32
  const test::SimProcess readmeSim({"--port", "4001"});
  if (readmeSim.Started()) port.ipPort = readmeSim.Port();
#endif
  CCommPortDlg tcp(port, host, services, &window);
  tcp.OnTcpIpTest();
  ok &= Save(tcp, out, QStringLiteral("comm-port-tcpip"));
  return ok;
}

// The main window with a dark palette, as a dark desktop theme gives it.
bool DarkShot(const QDir& out, const std::string& programFolder, test::FakeClockHost& host) {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(60, 60, 64));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
  QApplication::setPalette(dark);
  const test::TempDir temp;
  Profile profile(temp.File("corvelle.ini"));
  SeedSelection(profile, programFolder);
  CMainDlg window(MainDlgContext{host, profile, programFolder, {}, {}, {}, {}, {}});
  window.AvailableList()->setCurrentRow(9);
  bool ok = Save(window, out, QStringLiteral("main-window-dark"));
  CommPortServices services;
  services.probe = [](const std::string&) { return true; };
  services.deviceFolder = temp.File("no-dev");
  PortSettings port = LoadPortSettings(Profile());
  port.portName = "TCP/IP";
  // The test tries a real connection after the faked echo: to this machine, never to the
  // default printer address.
  port.ipAddress = "127.0.0.1";
  CCommPortDlg tcp(port, host, services, &window);
  tcp.OnTcpIpTest();
  ok &= Save(tcp, out, QStringLiteral("comm-port-dark"));
  return ok;
}

// The main window alone (for the picture at another scale).
int RunMainOnly(const QDir& out, const std::string& programFolder, const QString& name) {
  test::FakeClockHost host;
  RegisterProgramFonts(programFolder, host);
  const test::TempDir temp;
  Profile profile(temp.File("corvelle.ini"));
  SeedSelection(profile, programFolder);
  CMainDlg window(MainDlgContext{host, profile, programFolder, {}, {}, {}, {}, {}});
  window.AvailableList()->setCurrentRow(9);
  window.SelectedList()->setCurrentRow(6);
  return Save(window, out, name) ? 0 : 1;
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
  ok &= DarkShot(out, programFolder, host);  // last: it changes the application's look
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool mainOnly = argc == 5 && std::string(argv[3]) == "--main-only";
  if (argc != 3 && !mainOnly) {
    std::fprintf(stderr, "usage: corvelle_screenshots OUTPUT_FOLDER PROGRAM_FOLDER [--main-only NAME]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
    return 1;
  }
  if (mainOnly) return corvelle::RunMainOnly(QDir(folder), argv[2], QString::fromLocal8Bit(argv[4]));
  return corvelle::Run(QDir(folder), argv[2]);
}
