// Builds FileRecords from file contents: each version step becomes a small real
// delta (a copy of the common prefix, then the rest inserted plain), with the
// sizes and CRCs the records carry.
#pragma once

#include <string>
#include <vector>

#include "core/crc32.h"
#include "maker/delta_writer.h"
#include "maker/script_writer.h"

namespace ztx::testing {

inline std::uint32_t CrcOf(const std::string& s) {
  return Crc32Update(kCrcInitial, s.data(), static_cast<std::uint32_t>(s.size()));
}

// The delta from `from` to `to`.
inline VersionSpec StepSpec(const std::string& from, const std::string& to, std::uint8_t block = 16) {
  size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::vector<DeltaCommand> commands;
  if (common > 0) commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(common), 0));
  if (to.size() > common) {
    const std::string rest = to.substr(common);
    const size_t chunks = InsertChunks(static_cast<std::uint32_t>(rest.size()), block).size();
    commands.push_back(DeltaCommand::Insert(rest, std::vector<bool>(chunks, true)));
  }
  DeltaParameters p{static_cast<std::uint32_t>(from.size()), static_cast<std::uint32_t>(to.size()), 0, 0,
                    block};
  VersionSpec v;
  v.crc = CrcOf(from);
  v.size = static_cast<std::uint32_t>(from.size());
  v.insert_block_size = block;
  v.streams = WriteDeltaStreams(p, commands);
  return v;
}

// A FileRecord whose versions form the chain versions[0] -> versions[1] -> ...
// -> new_content.
inline FileRecordSpec ChainRecord(const std::string& name, const std::vector<std::string>& versions,
                                  const std::string& new_content, std::uint8_t flags = 0) {
  FileRecordSpec f;
  f.file_name = name;
  f.new_crc = CrcOf(new_content);
  f.new_size = static_cast<std::uint32_t>(new_content.size());
  f.file_flags = flags;
  for (size_t i = 0; i < versions.size(); ++i) {
    f.versions.push_back(StepSpec(versions[i], i + 1 < versions.size() ? versions[i + 1] : new_content));
  }
  return f;
}

}  // namespace ztx::testing
