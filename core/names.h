// Names from a patch stay inside the target folder. A damaged or hostile patch
// must not reach any file outside it, so every FileName, SourceName and
// BackupFolder is checked before it is used.
#pragma once

#include <string>
#include <vector>

namespace ztx {

// A path relative to the target folder that stays inside it: not empty, not
// absolute (no leading separator, drive letter, network or device prefix, no ':'
// at all), no ".." that climbs above the start, no Windows device name (CON,
// NUL, COM1...) as any element, no element that Windows would quietly change
// (trailing dot or blank), no wildcard or control character.
bool IsSafeRelativeName(const std::string& name);

// A backup folder name: a safe relative name that names a folder below the
// target folder (not the target itself, as "." or "a\.." would) and is not one
// of the staging folders PATCH<n>.TMP.
bool IsSafeBackupFolder(const std::string& name);

// The elements of a safe relative name with "." and ".." resolved: "a\.\b\..\c"
// gives {"a", "c"}.
std::vector<std::string> NormalizedElements(const std::string& name);

// Paths are built by joining with exactly one backslash; nothing is normalised.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

// True when the first element of the name is a staging folder name, PATCH<n>.TMP.
bool IsStagingFolderName(const std::string& element);

}  // namespace ztx
