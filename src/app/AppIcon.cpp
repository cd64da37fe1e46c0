// SPDX-License-Identifier: MIT
// The application icon from the program's Qt resources.
#include "app/AppIcon.h"

#include <QApplication>
#include <QStyle>

// The resource is compiled into a static library, so it is registered by hand.
static void RegisterIconResource() { Q_INIT_RESOURCE(app); }

namespace corvelle {

QIcon AppIcon() {
  static const bool registered = (RegisterIconResource(), true);
  (void)registered;
  QIcon icon;
  for (const int size : {16, 32, 48, 256}) icon.addFile(QStringLiteral(":/corvelle/app-%1.png").arg(size), QSize(size, size));
  return icon;
}

int StandardIconSize() { return QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize); }

QPixmap AppIconPixmap() {
  const int size = StandardIconSize();
  return AppIcon().pixmap(QSize(size, size));
}

}  // namespace corvelle
