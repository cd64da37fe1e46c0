// SPDX-License-Identifier: MIT
// The window layouts: for each dialog its caption, size and controls (ID, kind, text and rectangle
// in dialog units), in template order, which is also the tab order. Plain data, read by the windows.
#pragma once

#include <span>
#include <string_view>

namespace corvelle::layouts {

enum DialogId : int {
  IDD_ABOUT = 100,
  IDD_MAIN = 102,
  IDD_PROGRESS = 540,
  IDD_SERIAL_SETUP = 542,
  IDD_COMM_PORT = 547,
};

inline constexpr int IDI_APP_ICON = 128;

enum ControlId : int {
  IDC_STATIC = -1,
  IDOK = 1,
  IDCANCEL = 2,
  // main window
  IDC_PREVIEW = 110,
  IDC_REMOVE = 188,
  IDC_ADD = 189,
  IDC_DETAIL_LIST = 339,
  IDC_SELECTED_LIST = 340,
  IDC_PATH_LIST = 342,
  IDC_AVAILABLE_LIST = 343,
  IDC_LOAD_SETTINGS = 355,
  IDC_SAVE_SETTINGS = 356,
  IDC_EMPTY_LIST = 357,
  IDC_CREATE_FILE = 358,
  IDC_LEGACY = 364,
  IDC_DOWNLOAD = 1000,
  IDC_COMM_PORT = 1001,
  IDC_CP1250 = 1003,
  IDC_CP1251 = 1004,
  IDC_CP1252 = 1005,
  IDC_CP1253 = 1006,
  IDC_ABOUT = 1007,
  IDC_ALL_CODEPAGES = 1011,
  IDC_FACTORY_LIST = 1012,
  // progress window
  IDC_STATUS = 138,
  IDC_MESSAGE = 139,
  IDC_PROGRESS = 244,
  IDC_TIME_LEFT = 245,
  IDC_ICON_BUTTON = 1008,
  // serial setup and communication port dialogs
  IDC_SET_COM = 143,
  IDC_TCPIP_TEST = 146,
  IDC_PARITY = 151,
  IDC_DATA_BITS = 152,
  IDC_STOP_BITS = 153,
  IDC_RS485_ADDRESS = 155,
  IDC_BAUD = 215,
  IDC_RS485 = 257,
  IDC_XON_XOFF = 258,
  IDC_HARDWARE_FLOW = 259,
  IDC_IP_ADDRESS = 288,
  IDC_IP_PORT = 290,
  IDC_ECHO_TEST = 291,
  IDC_INDICATOR = 297,
  IDC_TEST_RESULT = 298,
  IDC_PORT = 344,
};

enum class ControlKind {
  PushButton,
  DefPushButton,
  MultiLinePushButton,  // caption wraps onto a second line
  CheckBox,             // automatic check box
  RadioButton,          // automatic radio button
  GroupBox,
  StaticText,           // left aligned, wraps at word boundaries
  Icon,                 // the application icon at its natural size
  ListBox,              // single selection
  MultiListBox,         // extended multiple selection
  DropDownList,         // height includes the open list
  Edit,
  ProgressBar,
  OwnerDraw,            // a button the window draws itself
};

// Control flags.
inline constexpr unsigned kHidden = 1;
inline constexpr unsigned kDisabled = 2;
inline constexpr unsigned kGroupStart = 4;

struct DlgRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

// How a control follows a window that is larger than its template: each edge moves by this many
// halves of the growth (0 stays, 1 moves half as far, 2 moves as far as the window's edge).
struct Anchor {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

inline constexpr Anchor kFixed{};
inline constexpr Anchor kRight{2, 0, 2, 0};        // keeps its size beside the right edge
inline constexpr Anchor kBottomRight{2, 2, 2, 2};
inline constexpr Anchor kBottomLeft{0, 2, 0, 2};

struct ControlTemplate {
  int id;
  ControlKind kind;
  // Caption ("&" before the mnemonic letter); for lists the initial entries, one per line ("" = none).
  std::string_view text;
  DlgRect rect;
  unsigned flags = 0;
  Anchor anchor = kFixed;
  // A label's mnemonic focuses this control; 0: the control that follows it in the template.
  int buddy = 0;
};

struct DialogTemplate {
  int id;
  std::string_view caption;  // empty: no caption bar
  int width;
  int height;
  std::span<const ControlTemplate> controls;
  // The template's size is the window's default and smallest; the controls follow their anchors.
  bool resizable = false;
};

inline constexpr std::string_view kAppCaption = "VARNESI - Corvelle";

using enum ControlKind;

inline constexpr ControlTemplate kMainControls[] = {
    {IDC_AVAILABLE_LIST, MultiListBox, "", {5, 86, 100, 100}, 0, {0, 0, 1, 1}},
    {IDC_ADD, PushButton, "-->", {120, 86, 27, 12}, 0, {1, 0, 1, 0}},
    {IDC_REMOVE, PushButton, "<--", {120, 105, 27, 12}, 0, {1, 0, 1, 0}},
    {IDC_SELECTED_LIST, ListBox, "", {160, 86, 100, 100}, 0, {1, 0, 2, 1}},
    {IDC_PREVIEW, StaticText, "", {5, 209, 255, 75}, 0, {0, 1, 2, 2}},
    {IDC_DETAIL_LIST, DropDownList, "", {8, 244, 255, 80}, kHidden},
    {IDC_PATH_LIST, DropDownList, "", {8, 265, 255, 80}, kHidden},
    {IDC_STATIC, StaticText, "A&vailable fonts:", {5, 70, 60, 8}, 0, kFixed, IDC_AVAILABLE_LIST},
    {IDC_STATIC, StaticText, "Selected fo&nts:", {160, 70, 90, 8}, 0, {1, 0, 1, 0}, IDC_SELECTED_LIST},
    {IDC_LOAD_SETTINGS, PushButton, "&Load settings", {10, 289, 105, 15}, 0, kBottomLeft},
    {IDC_SAVE_SETTINGS, PushButton, "&Save settings", {155, 289, 105, 15}, 0, kBottomRight},
    {IDC_EMPTY_LIST, MultiLinePushButton, "&Empty\nlist", {270, 86, 70, 30}, 0, kRight},
    {IDC_CREATE_FILE, MultiLinePushButton, "C&reate file\nto download", {270, 121, 70, 30}, 0, kRight},
    {IDC_LEGACY, CheckBox, "Fonts GN&1 (release <J2.10)", {160, 190, 128, 10}, 0, {1, 1, 1, 1}},
    {IDC_DOWNLOAD, PushButton, "&Download", {270, 155, 70, 30}, 0, kRight},
    {IDC_COMM_PORT, MultiLinePushButton, "Co&mmunication port", {270, 210, 70, 30}, 0, {2, 1, 2, 1}},
    {IDOK, PushButton, "&OK", {270, 250, 70, 30}, 0, kBottomRight},
    {IDC_CP1250, RadioButton, "Win1250 - &Central Europe", {10, 15, 115, 15}, kGroupStart},
    {IDC_CP1251, RadioButton, "Win1251 - C&yrillic", {10, 30, 115, 15}},
    {IDC_CP1252, RadioButton, "Win1252 - &Western Europe", {135, 15, 115, 15}},
    {IDC_CP1253, RadioButton, "Win1253 - &Greek", {135, 30, 115, 15}},
    {IDC_ALL_CODEPAGES, RadioButton, "All code&pages", {10, 45, 115, 15}},
    {IDC_STATIC, GroupBox, "Available Codepages selection", {5, 5, 335, 56}, 0, {0, 0, 2, 0}},
    {IDC_FACTORY_LIST, RadioButton, "Font list for &factory setup", {135, 45, 115, 15}},
    {IDC_STATIC, Icon, "", {315, 15, 20, 20}, 0, kRight},
    {IDC_ABOUT, PushButton, "A&bout", {275, 40, 60, 15}, 0, kRight},
};
inline constexpr DialogTemplate kMainDialog{IDD_MAIN, kAppCaption, 347, 332, kMainControls, true};

inline constexpr ControlTemplate kProgressControls[] = {
    {IDC_ICON_BUTTON, OwnerDraw, "", {3, 5, 38, 40}, kDisabled},
    {IDC_MESSAGE, StaticText, "msg", {55, 5, 100, 19}},
    {IDC_PROGRESS, ProgressBar, "Progress1", {55, 25, 96, 8}},
    {IDC_STATUS, StaticText, ".", {55, 37, 98, 8}},
    {IDC_TIME_LEFT, StaticText, "", {55, 47, 98, 8}},
    {IDCANCEL, PushButton, "&STOP", {100, 60, 50, 14}},
};
inline constexpr DialogTemplate kProgressDialog{IDD_PROGRESS, "", 161, 82, kProgressControls};

inline constexpr ControlTemplate kSerialSetupControls[] = {
    {IDC_STATIC, StaticText, "&Baud:", {7, 9, 30, 8}},
    {IDC_BAUD, DropDownList, "2400\n4800\n9600\n19200\n38400", {40, 7, 55, 80}},
    {IDC_STATIC, StaticText, "&Parity:", {7, 27, 30, 8}},
    {IDC_PARITY, DropDownList, "None\nEven\nOdd", {40, 25, 55, 60}},
    {IDC_STATIC, StaticText, "&Data:", {7, 45, 30, 8}},
    {IDC_DATA_BITS, DropDownList, "7\n8", {40, 43, 55, 40}},
    {IDC_STATIC, StaticText, "&Stop:", {7, 63, 30, 8}},
    {IDC_STOP_BITS, DropDownList, "1\n2", {40, 61, 55, 40}},
    {IDOK, DefPushButton, "&OK", {113, 7, 50, 14}},
    {IDCANCEL, PushButton, "&Cancel", {113, 25, 50, 14}},
};
inline constexpr DialogTemplate kSerialSetupDialog{IDD_SERIAL_SETUP, "Printer serial port setup", 170, 82,
                                                   kSerialSetupControls};

// The entries of the communication port dialog's lists that are not filled at run time.
inline constexpr std::string_view kPortEntries =
    "COM1:\nCOM2:\nCOM3:\nCOM4:\nCOM5:\nCOM6:\nCOM7:\nCOM8:\nCOM9:\nCOM10:\nCOM11:\nCOM12:\nCOM13:\nCOM14:\n"
    "COM15:\nCOM16:\nLPT1:\nLPT2:\nTCP/IP\nFILE";

inline constexpr ControlTemplate kCommPortControls[] = {
    {IDC_STATIC, StaticText, "Printer &port:", {10, 10, 50, 8}},
    {IDC_PORT, DropDownList, kPortEntries, {62, 8, 70, 150}},
    {IDC_STATIC, GroupBox, "COM", {7, 26, 236, 92}},
    {IDC_STATIC, StaticText, "&Baud:", {15, 40, 32, 8}},
    {IDC_BAUD, DropDownList, "2400\n4800\n9600\n19200\n38400", {50, 38, 50, 80}},
    {IDC_STATIC, StaticText, "P&arity:", {15, 56, 32, 8}},
    {IDC_PARITY, DropDownList, "None\nEven\nOdd\n", {50, 54, 50, 60}},
    {IDC_STATIC, StaticText, "&Data:", {15, 72, 32, 8}},
    {IDC_DATA_BITS, DropDownList, "7\n8", {50, 70, 50, 40}},
    {IDC_STATIC, StaticText, "&Stop:", {15, 88, 32, 8}},
    {IDC_STOP_BITS, DropDownList, "1\n2", {50, 86, 50, 40}},
    {IDC_XON_XOFF, CheckBox, "&Xon / Xoff flow control", {115, 38, 120, 10}},
    {IDC_HARDWARE_FLOW, CheckBox, "&Hardware flow control", {115, 52, 120, 10}},
    {IDC_RS485, CheckBox, "&Rs485", {115, 66, 60, 10}},
    {IDC_STATIC, StaticText, "&485 addr.", {115, 82, 35, 8}},
    {IDC_RS485_ADDRESS, DropDownList, "", {152, 80, 40, 100}},
    {IDC_SET_COM, PushButton, "Set &COM port", {115, 98, 70, 14}},
    {IDC_STATIC, GroupBox, "TCP/IP", {7, 124, 236, 78}},
    {IDC_STATIC, StaticText, "TCP/IP addr&ess", {15, 138, 55, 8}},
    {IDC_IP_ADDRESS, Edit, "", {72, 136, 80, 12}},
    {IDC_STATIC, StaticText, "TCP/IP por&t", {15, 156, 55, 8}},
    {IDC_IP_PORT, Edit, "", {72, 154, 40, 12}},
    {IDC_TCPIP_TEST, PushButton, "TCP/&IP test", {165, 136, 60, 14}},
    {IDC_INDICATOR, OwnerDraw, "", {185, 153, 20, 16}},
    {IDC_ECHO_TEST, CheckBox, "Test with an ec&ho (ping) before connecting", {15, 172, 200, 10}},
    {IDC_TEST_RESULT, StaticText, "", {15, 186, 224, 10}},
    {IDOK, DefPushButton, "&OK", {193, 208, 50, 14}},
};
inline constexpr DialogTemplate kCommPortDialog{IDD_COMM_PORT, "Communication port", 250, 228, kCommPortControls};

// The About box's first line; the box adds the program's version to it.
inline constexpr std::string_view kAboutFirstLine = "Corvelle Version";
inline constexpr std::string_view kAboutSecondLine = "KERV printer font manager";

inline constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, Icon, "", {11, 17, 20, 20}},
    {IDC_STATIC, StaticText, kAboutFirstLine, {40, 10, 119, 8}},
    {IDC_STATIC, StaticText, kAboutSecondLine, {40, 25, 119, 8}},
    {IDOK, DefPushButton, "&OK", {178, 7, 50, 14}, kGroupStart},
};
inline constexpr DialogTemplate kAboutDialog{IDD_ABOUT, kAppCaption, 235, 55, kAboutControls};

}  // namespace corvelle::layouts
