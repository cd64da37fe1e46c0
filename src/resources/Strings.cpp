// SPDX-License-Identifier: MIT
// String table contents.
#include "resources/Strings.h"

#include <array>
#include <utility>

namespace corvelle {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 21> kTable{{
    {IDS_FONT_LOADING_ERROR, "KERV - Font loading error"},
    {IDS_PREVIEW_SAMPLE, "123 Sample"},
    {IDS_OUTPUT_FILE_ERROR, "Error opening output file"},
    {IDS_WAIT_AUTORESTART,
     "Wait printer autorestart.\nIf leds are blinking or change status turn off and on the printer."},
    {IDS_UPGRADING, "Upgrading printer..."},
    {IDS_END_OF_PROCESS, "End of process, wait please..."},
    {IDS_TCPIP_NOT_RESPONDING, "TCP/IP device is not responding"},
    {IDS_TOO_MUCH_MEMORY, "Selected fonts require too much memory\nTask cancelled."},
    {IDS_SELECT_DESTINATION, "Select a destination position."},
    {IDS_SELECT_AVAILABLE, "Select one available font."},
    {IDS_ABOUT_MENU, "&About Corvelle..."},
    {IDS_CONNECT_FAILED, "TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr. "},
    {IDS_KVF_FILTER, "Font configuration (*.kvf) | *.kvf||"},
    {IDS_PORT_NOT_AVAILABLE, "Communication port is not available"},
    {IDS_NO_FONTS_SELECTED, "No additional fonts selected"},
    {IDS_SOCKET_ALLOC_FAILED, "Failed to allocate client socket "},
    {IDS_FONTS_STORED, "Fonts will be stored in printer when green led turns on again."},
    {IDS_DEVICE_BUSY, "The device is busy."},
    {IDS_DEVICE_NOT_OPEN, "The device is not open."},
    {IDS_MAX_8_FONTS, "Max. 8 fonts available!\nFree other selections ?"},
    {IDS_MAX_112_FONTS, "Select max. 112 fonts, please.\n\nNow %i selected."},
}};

}  // namespace

std::string_view LoadStr(int id) {
  for (const auto& [number, text] : kTable) {
    if (number == id) return text;
  }
  return {};
}

std::string FormatStr(int id, long long value) {
  std::string text(LoadStr(id));
  const auto at = text.find("%i");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
  return text;
}

}  // namespace corvelle
