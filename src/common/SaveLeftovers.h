#pragma once
// The names a save gives its own files, and the sweep of those that saves
// of ended processes left behind: their unfinished files are removed, and
// their complete copies (kept while a file was written over) are given a
// visible name and reported, once.

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// The own files of a save are named ".NAME" + tag + "PID-N" beside NAME: an
// unfinished one, and a complete copy kept while the target is written over.
inline constexpr std::string_view kUnfinishedTag = ".tmp-";
inline constexpr std::string_view kCopyTag = ".kopie-";
// Room for the longer tag, a process id and a counter behind the name.
inline constexpr std::size_t kSuffixRoom = kCopyTag.size() + 10 + 1 + 10;

// A folder kept open, so that names in it are short whatever the path; a
// folder that may be entered but not listed is opened all the same.
bool OpenFolder(const std::string &path, int &fd);
void CloseFolder(int &fd);
// Renames without replacing anything of that name.
bool RenameNoReplace(int fromFolder, const std::string &from, int toFolder, const std::string &to);

// A copy that a save cut short left: given a visible name (its own without
// the leading dot), so that the user finds it, and reported.
void KeepCopy(int folder, const std::string &folderPath, const std::string &name);
// Receives the reports of copies left behind; none: the standard error output.
void SetCopyLeftHandler(std::function<void(const std::string &text)> handler);

// Removes the unfinished files of saves whose process is gone, and reports
// their complete copies; files of running processes, files made since
// `started` and everything named otherwise stay.
void SweepLeftovers(int folder, const std::string &folderPath, const timespec &started);
// Where the new content goes when the target's folder takes no new file:
// the user's cache folder, else the folder for temporary files.
std::vector<std::string> SpareFolders();
// Copies left in the spare folders by an earlier run are reported at the
// first save of this one.
void SweepSpareFoldersOnce(const timespec &started);

} // namespace common
