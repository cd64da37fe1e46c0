// SPDX-License-Identifier: MIT
// The About box.
#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/DialogUnits.h"
#include "base/Version.h"

namespace corvelle {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const TemplateControls controls = BuildDialog(this, layouts::kAboutDialog);
  connect(controls.As<QPushButton>(layouts::IDOK), &QPushButton::clicked, this, &QDialog::accept);
  // The version is the one every program's --version prints.
  const QString firstLine = QString::fromLatin1(layouts::kAboutFirstLine.data(),
                                                static_cast<qsizetype>(layouts::kAboutFirstLine.size()));
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->text() == firstLine) label->setText(firstLine + QLatin1Char(' ') + QString::fromLatin1(ProgramVersion()));
  }
}

}  // namespace corvelle
