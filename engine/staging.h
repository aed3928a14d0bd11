// The staging pass: for every FileRecord it finds which known old version is in
// the target folder, rebuilds the new version through the chain of deltas into
// the group's staging folder and verifies it; for every StoredFileRecord it
// writes the stored bytes there. The target folder is only read.
#pragma once

#include <cstdint>
#include <string>

#include "core/messages.h"
#include "core/records.h"
#include "core/session.h"

namespace ztx {

// The handler of the pass. 0; 33 (no known version of a required file), 37
// (a chain step cannot read the previous step's output), 38 (a staged or chain
// file cannot be made or written), 12 (the rebuilt file is not the new
// version), 1 (damaged delta).
MessageId StageRecord(Session& session, int group, RecordKind kind);

inline RecordHandler StagingHandler(Session& session) {
  return [&session](int group, RecordKind kind) { return StageRecord(session, group, kind); };
}

// How a file on disk compares with an expected version.
enum class FileMatch { kAbsent, kDiffers, kMatches };

// Absent when it cannot be opened for reading with read sharing; matches when
// its size is the expected one and its CRC, with the exclusion range left out,
// is the expected one (the CRC is computed only when the size is right).
FileMatch MatchFile(FileLayer& files, const std::string& path, std::uint32_t size,
                    std::uint32_t crc, std::uint32_t exclude_offset, std::uint32_t exclude_length);

// Copies `count` bytes of the patch script from `offset` to the file's current
// position. False when the script cannot be read or the file written.
bool ExtractScriptBytes(Session& session, std::uint32_t offset, std::uint32_t count,
                        FileHandle destination);

}  // namespace ztx
