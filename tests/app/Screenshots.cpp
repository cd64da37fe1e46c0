// Writes pictures of the windows into a folder, for looking at them: the progress window, the
// serial setup dialog, the About box and the LED button in its states.
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"
#include "app/LedButton.h"
#include "app/ProgressDlg.h"
#include "setup/SerialSetupDlg.h"

namespace corvelle {
namespace {

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
  widget.show();
  QApplication::setActiveWindow(&widget);  // no window manager gives the focus here
  widget.setFocus();
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
  sheet->setFont(DialogFont());
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

// A template as laid out, for the windows that do not exist yet.
QWidget* TemplatePreview(const layouts::DialogTemplate& dialog) {
  auto* window = new QWidget;
  BuildDialog(window, dialog, [](const layouts::ControlTemplate&, QWidget* parent) {
    auto* led = new CLedButton(parent);
    led->SetLedColors(0x0000FF, 0xA0A0A0);
    led->SetLedSize(20);
    return led;
  });
  return window;
}

int Run(const QDir& folder) {
  bool ok = true;
  QWidget main;
  main.resize(560, 420);
  main.show();

  CProgressDlg progress(&main);
  progress.SetMessage("Upgrading printer...");
  progress.SetRange(0, 100);
  progress.SetPosition(42);
  ok &= Save(progress, folder, QStringLiteral("progress"));
  progress.SetPosition(150);
  progress.SetStatus("End of process, wait please...");
  ok &= Save(progress, folder, QStringLiteral("progress-full"));

  CSerialSetupDlg setup;
  setup.speedIndex = 5;
  setup.parityIndex = 2;
  setup.dataBitsIndex = 1;
  setup.stopBitsIndex = 0;
  ok &= Save(setup, folder, QStringLiteral("serial-setup"));

  CAboutDlg about;
  ok &= Save(about, folder, QStringLiteral("about"));

  for (const auto& [dialog, name] : {std::pair{&layouts::kMainDialog, "layout-main"},
                                     std::pair{&layouts::kCommPortDialog, "layout-comm-port"}}) {
    QWidget* preview = TemplatePreview(*dialog);
    ok &= Save(*preview, folder, QString::fromLatin1(name));
    delete preview;
  }

  QWidget* leds = LedSheet();
  ok &= Save(*leds, folder, QStringLiteral("led-states"));
  delete leds;
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots");
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
    return 1;
  }
  return corvelle::Run(QDir(folder));
}
