// SPDX-License-Identifier: MIT
// The About box's caption and texts.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/AboutDlg.h"

namespace corvelle {

TEST(AboutDlg, ShowsNameAndVersion) {
  CAboutDlg about;
  QStringList texts = {about.windowTitle()};
  for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
  texts.removeAll(QString());
  EXPECT_EQ(texts, QStringList({"VARNESI - Corvelle", "Corvelle Version " CORVELLE_PROJECT_VERSION,
                                "KERV printer font manager"}));
}

}  // namespace corvelle
