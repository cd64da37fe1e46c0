// SPDX-License-Identifier: MIT
// The application icon (resource 128): a printer with a page of type, at 16, 32 and 48 pixels.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace corvelle {

QIcon AppIcon();

// The system's standard icon size (the style's large icon metric), 32 with the stock styles.
int StandardIconSize();

// The icon at the standard size, as windows show it.
QPixmap AppIconPixmap();

}  // namespace corvelle
