// SPDX-License-Identifier: MIT
// The file dialogs' starting folder in the profile.
#include "app/RecentFolder.h"

#include <QFile>
#include <QFileInfo>

#include "base/Profile.h"

namespace corvelle {

QString RecentFolder::Folder() const {
  const QString folder = QFile::decodeName(m_profile.GetString(kProgramSection, kLastFolderKey, "").c_str());
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RecentFolder::Remember(const QString& filePath) {
  const std::string folder = QFile::encodeName(QFileInfo(filePath).absolutePath()).toStdString();
  // A line break would end the profile line early: such a folder is not remembered.
  if (folder.find_first_of("\r\n") != std::string::npos) return;
  if (m_profile.GetString(kProgramSection, kLastFolderKey, "") == folder) return;
  m_profile.WriteString(kProgramSection, kLastFolderKey, folder);
  m_profile.Save();
}

}  // namespace corvelle
