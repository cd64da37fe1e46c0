// SPDX-License-Identifier: MIT
// Names of the temporary files that writes make beside their targets, and the removal of those
// left behind by a process that was killed before it could remove its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

// A new temporary name beside `target`: target + ".tmp-" + this process's id + "-" + 16 hex
// digits from the system's random source, so that nobody can create it beforehand and every
// later run can tell whose it was. "" with errno set when the random source fails.
std::string TemporaryNameBeside(const std::string& target);

// The process id carried by `fileName` (a name without folder) when it is one of the program's
// temporary names: the pattern above, or the "<name>.<pid>.<n>" names that earlier versions made
// beside the images, the scratch header and the profile. nullopt for every other name.
std::optional<unsigned long> TemporaryNameProcess(std::string_view fileName);

// Removes from each folder the temporary files of the pattern above that belong to this user and
// whose process is no longer running; links and other users' files are left alone. The number
// removed.
int RemoveStaleTemporaryFiles(const std::vector<std::string>& folders);

// The same for the folders the program writes on its own: the program folder, the per-user data
// folder and the folder of `profilePath`. Called once at start by the window and the CLI.
int RemoveStaleTemporaryFiles(std::string_view programFolder, const std::string& profilePath);

// What the platform side provides.
namespace temp_files {
// Fills `bytes` from the system's random source; false with errno set on failure.
bool RandomBytes(std::string& bytes);
unsigned long CurrentProcess();
// The files of `folder` (names only) that are regular files of this user; nothing for a folder
// that cannot be listed.
std::vector<std::string> OwnFilesIn(const std::string& folder);
// True only when no process of this id runs (a process that cannot be asked counts as running).
bool ProcessGone(unsigned long process);
// Removes the file; false when it could not be.
bool RemoveFile(const std::string& path);
}  // namespace temp_files

}  // namespace corvelle
