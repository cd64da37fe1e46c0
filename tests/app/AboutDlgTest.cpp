// The About box's caption and texts.
#include <gtest/gtest.h>

#include <QLabel>

#include "app/AboutDlg.h"

namespace corvelle {

TEST(AboutDlg, ShowsNameAndVersion) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("VARNESI - Corvelle"));
  QStringList texts;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) texts << label->text();
  }
  EXPECT_EQ(texts, QStringList({"Corvelle Version 1.10", "KERV printer font manager"}));
}

}  // namespace corvelle
