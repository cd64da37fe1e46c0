// SPDX-License-Identifier: MIT
// Accessible names and descriptions, and the radio group's single Tab stop.
#include "app/ControlAccess.h"

#include <QRadioButton>
#include <algorithm>

#include "app/DialogUnits.h"

namespace corvelle {
namespace {

using namespace layouts;

constexpr ControlDescription kMain[] = {
    {IDC_AVAILABLE_LIST, "Available fonts", "The fonts of the chosen code page; select one or more to add them"},
    {IDC_ADD, "Add to selection", "Places the selected available fonts from the selected position on"},
    {IDC_REMOVE, "Remove from selection", "Frees the selected position"},
    {IDC_SELECTED_LIST, "Selected fonts", "The printer's 112 font positions, numbered; *** marks a free one"},
    {IDC_PREVIEW, "Preview", "A sample in the font selected last"},
    {IDC_LOAD_SETTINGS, nullptr, "Replaces the selection with one from a settings file"},
    {IDC_SAVE_SETTINGS, nullptr, "Saves the selection into a settings file"},
    {IDC_EMPTY_LIST, nullptr, "Frees every position"},
    {IDC_CREATE_FILE, nullptr, "Stores the selection and writes the font set image into a file of your choice"},
    {IDC_LEGACY, nullptr, "Builds the smaller image of at most 8 fonts that older GN1 printers take"},
    {IDC_DOWNLOAD, nullptr, "Builds the image from the stored selection and sends it to the printer"},
    {IDC_COMM_PORT, nullptr, "Chooses how the printer is reached"},
    {IDOK, nullptr, "Stores the selection and the code page and closes the program"},
    {IDC_CP1250, nullptr, "Lists the fonts for code page 1250"},
    {IDC_CP1251, nullptr, "Lists the fonts for code page 1251"},
    {IDC_CP1252, nullptr, "Lists the fonts for code page 1252"},
    {IDC_CP1253, nullptr, "Lists the fonts for code page 1253"},
    {IDC_ALL_CODEPAGES, nullptr, "Lists the fonts of every code page"},
    {IDC_FACTORY_LIST, nullptr, "Lists the fonts of the printer's factory setup"},
    {IDC_ABOUT, nullptr, "Shows the program's version"},
};

constexpr ControlDescription kCommPort[] = {
    {IDC_PORT, "Printer port", "Serial, parallel, TCP/IP, USB, an output file, or a serial device by name"},
    {IDC_BAUD, "Baud", "Line speed of the serial port"},
    {IDC_PARITY, "Parity", "Parity of the serial line"},
    {IDC_DATA_BITS, "Data bits", "Data bits per character"},
    {IDC_STOP_BITS, "Stop bits", "Stop bits per character"},
    {IDC_XON_XOFF, nullptr, "The printer holds the data with XOFF and releases it with XON"},
    {IDC_HARDWARE_FLOW, nullptr, "The printer holds the data with the CTS line"},
    {IDC_RS485, nullptr, "The printer is reached over an RS-485 line"},
    {IDC_ECHO_TEST, nullptr, "Before each TCP/IP connection, asks the printer for an ICMP echo"},
    {IDC_RS485_ADDRESS, "RS-485 address", "The printer's station address on the RS-485 line"},
    {IDC_SET_COM, nullptr, "Sends the printer new serial line settings"},
    {IDC_IP_ADDRESS, "TCP/IP address", "The printer's network address"},
    {IDC_IP_PORT, "TCP/IP port", "The printer's TCP port, 4001 unless it was changed"},
    {IDC_TCPIP_TEST, nullptr, "Checks with one echo request whether the address answers, then tries its port"},
    {IDC_INDICATOR, "TCP/IP test result", "The result of the last TCP/IP test"},
    {IDOK, nullptr, "Keeps these settings"},
};

}  // namespace

std::span<const ControlDescription> MainWindowDescriptions() { return kMain; }
std::span<const ControlDescription> CommPortDescriptions() { return kCommPort; }

void Describe(const TemplateControls& controls, std::span<const ControlDescription> descriptions) {
  for (const ControlDescription& d : descriptions) {
    QWidget* control = controls.Find(d.id);
    if (control == nullptr) continue;
    if (d.name != nullptr) control->setAccessibleName(QString::fromLatin1(d.name));
    control->setAccessibleDescription(QString::fromLatin1(d.description));
  }
}

void MakeOneTabStop(std::span<QRadioButton* const> group) {
  const std::vector<QRadioButton*> radios(group.begin(), group.end());
  const auto update = [radios] {
    const bool anyChecked = std::any_of(radios.begin(), radios.end(), [](QRadioButton* r) { return r->isChecked(); });
    for (QRadioButton* radio : radios) {
      const bool stop = anyChecked ? radio->isChecked() : radio == radios.front();
      radio->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  };
  for (QRadioButton* radio : radios) QObject::connect(radio, &QRadioButton::toggled, radio, update);
  update();
}

}  // namespace corvelle
