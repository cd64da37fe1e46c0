// SPDX-License-Identifier: MIT
// What the window tests share: the headers they all use, and picking a port in a port list as the
// user does.
#pragma once

#include <gmock/gmock.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <tuple>

#include "app/CommPortDlg.h"
#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "app/QtHost.h"
#include "app/RecentFolder.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "resources/Layouts.h"
#include "resources/Strings.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

// The entry becomes current and the dialog is told, as when the user picks it.
inline void ChoosePort(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  ASSERT_GE(index, 0) << name.toStdString();
  list->setCurrentIndex(index);
  emit list->activated(index);
}

}  // namespace corvelle::test
