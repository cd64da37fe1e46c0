// SPDX-License-Identifier: MIT
// The folder the file dialogs start in: the one the user last chose a file in, kept in the
// profile's own section of the program so that it survives a restart.
#pragma once

#include <QString>

namespace corvelle {

class Profile;

inline constexpr const char* kProgramSection = "Corvelle";
inline constexpr const char* kLastFolderKey = "LastFolder";

class RecentFolder {
 public:
  explicit RecentFolder(Profile& profile) : m_profile(profile) {}

  // The folder last remembered, or the user's documents folder when none is kept or it is gone.
  QString Folder() const;
  // Remembers the folder of `filePath` and saves the profile; a profile that cannot be saved
  // only loses the memory, so nothing is reported.
  void Remember(const QString& filePath);

 private:
  Profile& m_profile;
};

}  // namespace corvelle
