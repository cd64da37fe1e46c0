// SPDX-License-Identifier: MIT
// Room for a window's whole title. The window manager draws the caption in its title bar font,
// often bold, between the window's icon and its buttons, and cuts what does not fit; a message box
// sizes itself to its text, so a short message under a longer caption loses the caption's end.
#pragma once

class QMessageBox;
class QString;
class QWidget;

namespace corvelle {

// The width, in the window's pixels, of a title bar that shows `title` whole: the caption in the
// title bar font made bold, the window's icon and three frame buttons, and a margin.
int TitleBarWidth(const QString& title, const QWidget& window);

// Makes `box` at least as wide as its title bar needs, never wider than its screen's free area.
// Called once the box has its text, icon and buttons: QMessageBox lays itself out anew when they
// change.
void KeepTitleWhole(QMessageBox& box);

}  // namespace corvelle
