// The location pass: works out, for each location entry of the patch, the folder
// that its record group applies to, and fills the location table.
//
// Entries and their groups alternate: entry, its group, next entry, its group.
// An entry whose MoreEntries flag is set is followed by its group and then the
// next entry, so that a patch can reach several folders (a program folder and
// the system folder, say); a patch of one entry has its group right behind it.
#pragma once

#include <string>

#include "core/file_layer.h"
#include "core/messages.h"
#include "core/session.h"

namespace ztx {

// Registry values hold at most this many bytes of install path.
constexpr std::uint32_t kInstallPathCapacity = 1024;

// 0; 1 when the location block cannot be read (or has more than 20 entries or
// an unknown kind); 37 when a group between entries holds a bad record; 40 when
// a registry install path, the Windows folder or the system folder is not there.
MessageId RunLocationPass(Session& session);

// The folder part of a path that names an existing file, with its trailing
// separator ("." when it has none); any other path unchanged.
std::string FolderOfPath(FileLayer& files, const std::string& path);

// Reads a registry value that holds an install path: opens root\sub_key for
// reading and takes the value's data up to its first 0 byte. 0, or 40 when the
// key or value is missing, too long, or empty.
MessageId ReadInstallPath(Os& os, std::uint32_t root, const std::string& sub_key,
                          const std::string& value_name, std::uint32_t capacity,
                          std::string* path);

}  // namespace ztx
