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

// programFolder + "/FontExt/" ("\FontExt\" on Windows): index files and font fragments.
std::string FontExtFolder(std::string_view programFolder);

// Where images and the scratch header are written: the program folder when it is writable, not
// an installation's share/corvelle (files there belong to the package manager) and not shared
// (neither it nor its FontExt folder is one that others may write to: the images would be theirs
// to read or replace), else the per-user data folder ($XDG_DATA_HOME/corvelle or
// ~/.local/share/corvelle), created when missing.
std::string WritableDataFolder(std::string_view programFolder);

// The per-user data folder ($XDG_DATA_HOME/corvelle or ~/.local/share/corvelle) is used by the
// default images when it is not the program folder; "" when it is usable (made 0700 when
// missing), else the message naming it and why it is refused.
std::string DataFolderProblem(std::string_view programFolder);

// The per-user profile: $XDG_CONFIG_HOME/corvelle/corvelle.ini or ~/.config/corvelle/corvelle.ini.
std::string DefaultProfilePath();

// The user's home folder: $HOME, else the password database's entry of this user; never a
// shared folder such as /tmp ("" when neither knows one, so that nothing per-user is found).
std::string HomeFolder();

// Makes one of the program's own folders (0700, parents 0700 too when missing) and checks that it
// may be trusted: "" when it is a folder owned by this user that neither group nor others may
// write, else the message naming it and why it is refused (another user could plant files in it).
std::string PrepareOwnFolder(const std::string& folder);
// The same check without making anything: "" also when the folder does not exist yet.
std::string OwnFolderProblem(const std::string& folder);

// True when someone besides this user and root may create or replace files in `folder`: it
// belongs to another user, or others may write to it, or its group may and that group is not
// this user's own (a group named after the user, with no other member). False for a folder that
// cannot be examined, and always on Windows, whose folders grant access through ACLs.
bool OthersMayWriteIn(const std::string& folder);

// The file a stored font path names in this installation: FontExt/ under `programFolder` + the
// part after its last '/' or '\'. Whatever folder the path names (another installation's, or one
// climbing out with ".."), only FontExt is read.
std::string InFontExt(std::string_view storedPath, std::string_view programFolder);

// `folder` + separator + `name` (no doubled separator; '\' on Windows, '/' elsewhere).
std::string JoinPath(std::string_view folder, std::string_view name);

// Everything before the last separator ('/', and '\' on Windows), or "" when there is none.
std::string ParentFolder(std::string_view path);

// The part after the last '/' or '\' (stored paths may come from Windows installations).
std::string FileNamePart(std::string_view path);

// mkdir -p with `mode` for the folders made; true when the folder exists afterwards.
bool MakeFolders(const std::string& folder, unsigned mode = 0755);

// fsync of a folder, so that a rename inside it survives a crash. Failures are ignored.
void SyncFolder(const std::string& folder);

}  // namespace corvelle
