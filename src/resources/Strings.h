// SPDX-License-Identifier: MIT
// The numbered texts of the program's string table, and the few literal texts shown to the user.
#pragma once

#include <string>
#include <string_view>

namespace corvelle {

// Numbers of the string table, as the messages are known to users and support staff.
enum StringId : int {
  IDS_FONT_LOADING_ERROR = 18,     // "KERV - Font loading error"
  IDS_PREVIEW_SAMPLE = 27,         // "123 Sample"
  IDS_OUTPUT_FILE_ERROR = 47,      // "Error opening output file"
  IDS_WAIT_AUTORESTART = 82,
  IDS_UPGRADING = 83,
  IDS_END_OF_PROCESS = 84,
  IDS_TCPIP_NOT_RESPONDING = 93,
  IDS_TOO_MUCH_MEMORY = 94,
  IDS_SELECT_DESTINATION = 95,
  IDS_SELECT_AVAILABLE = 96,
  IDS_ABOUT_MENU = 101,
  IDS_CONNECT_FAILED = 102,
  IDS_KVF_FILTER = 104,
  IDS_PORT_NOT_AVAILABLE = 105,
  IDS_NO_FONTS_SELECTED = 106,
  IDS_SOCKET_ALLOC_FAILED = 107,
  IDS_FONTS_STORED = 108,
  IDS_DEVICE_BUSY = 116,
  IDS_DEVICE_NOT_OPEN = 117,
  IDS_MAX_8_FONTS = 122,
  IDS_MAX_112_FONTS = 137,
};

// The text of string `id`; empty for a number the table does not hold.
std::string_view LoadStr(int id);

// LoadStr(id) with its single "%i" replaced by `value` (for the table's counted messages).
std::string FormatStr(int id, long long value);

}  // namespace corvelle
