// SPDX-License-Identifier: MIT
// The file dialogs' starting folder in the profile.
#include "app/RecentFolder.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "app/FileNames.h"
#include "app/StoredProfile.h"
#include "base/Profile.h"

namespace corvelle {

QString RecentFolder::Folder() const {
  const QString folder = ShownFileName(m_profile.GetString(kProgramSection, kLastFolderKey, ""));
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  // The first time (or when that folder is gone): the user's documents, not the working folder.
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void RecentFolder::Remember(const QString& filePath) {
  const std::string folder = EngineFileName(QFileInfo(filePath).absolutePath());
  // A line break would end the profile line early: such a folder is not remembered.
  if (folder.find_first_of("\r\n") != std::string::npos) return;
  if (m_profile.GetString(kProgramSection, kLastFolderKey, "") == folder) return;
  // Only this key is written, on the profile as stored now, so that nothing else the window
  // holds (perhaps out of date) is saved with it.
  UpdateStoredProfile(m_profile, [&folder](Profile& fresh) {
    if (fresh.GetString(kProgramSection, kLastFolderKey, "") == folder) return false;
    fresh.WriteString(kProgramSection, kLastFolderKey, folder);
    return true;
  });
}

}  // namespace corvelle
