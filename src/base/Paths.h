// SPDX-License-Identifier: MIT
// Where the program finds its data and writes its files.
#pragma once

#include <string>
#include <string_view>

namespace corvelle {

// The folder of the running executable, without a trailing separator.
std::string ExecutableFolder();

// The folder whose FontExt/ and fonts/ the program uses: the executable's folder when it holds
// FontExt/ (a build tree, or a copied folder), else <prefix>/share/corvelle when the executable
// is <prefix>/bin/... and that holds FontExt/ (an installation), else the executable's folder.
std::string ProgramFolder();
// The same rule for an executable in `executableFolder`.
std::string ProgramFolderFor(std::string_view executableFolder);

// programFolder + "/FontExt/": index files and font fragments.
std::string FontExtFolder(std::string_view programFolder);

// Where images and the scratch header are written: the program folder when it is writable and
// not an installation's share/corvelle (files there belong to the package manager), else the
// per-user data folder ($XDG_DATA_HOME/corvelle or ~/.local/share/corvelle), created when missing.
std::string WritableDataFolder(std::string_view programFolder);

// The per-user profile: $XDG_CONFIG_HOME/corvelle/corvelle.ini or ~/.config/corvelle/corvelle.ini.
std::string DefaultProfilePath();

// `folder` + "/" + `name` (no doubled separator).
std::string JoinPath(std::string_view folder, std::string_view name);

// Everything before the last '/', or "" when there is none.
std::string ParentFolder(std::string_view path);

// The part after the last '/' or '\' (stored paths may come from Windows installations).
std::string FileNamePart(std::string_view path);

// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string& folder);

// fsync of a folder, so that a rename inside it survives a crash. Failures are ignored.
void SyncFolder(const std::string& folder);

}  // namespace corvelle
