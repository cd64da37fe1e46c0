// The About box: caption, texts, icon place and its OK button.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"

namespace corvelle {
namespace {

TEST(AboutDlg, ShowsNameVersionAndIcon) {
  CAboutDlg about;
  const DialogUnits units(DialogFont());
  EXPECT_EQ(about.windowTitle(), QStringLiteral("VARNESI - Corvelle"));
  EXPECT_EQ(about.size(), units.ToPixels(235, 55));
  QStringList texts;
  QLabel* icon = nullptr;
  for (QLabel* label : about.findChildren<QLabel*>()) {
    if (!label->pixmap().isNull()) icon = label;
    if (!label->text().isEmpty()) texts << label->text();
  }
  EXPECT_EQ(texts, QStringList({"Corvelle Version 1.10", "KERV printer font manager"}));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->pos(), units.ToPixels(layouts::DlgRect{11, 17, 0, 0}).topLeft());
  EXPECT_EQ(icon->size(), QSize(32, 32));
}

TEST(AboutDlg, OkIsTheDefaultAndCloses) {
  CAboutDlg about;
  about.show();
  QPushButton* ok = about.findChild<QPushButton*>(QStringLiteral("1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(ok->geometry(), DialogUnits(DialogFont()).ToPixels(layouts::DlgRect{178, 7, 50, 14}));
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace corvelle
