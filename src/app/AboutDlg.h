// SPDX-License-Identifier: MIT
// CAboutDlg: the About box with the icon, the program's version and its OK button.
#pragma once

#include <QDialog>

namespace corvelle {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace corvelle
