// SPDX-License-Identifier: MIT
// The About box.
#include "app/AboutDlg.h"

#include <QPushButton>

#include "app/DialogUnits.h"

namespace corvelle {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  const TemplateControls controls = BuildDialog(this, layouts::kAboutDialog);
  connect(controls.As<QPushButton>(layouts::IDOK), &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace corvelle
