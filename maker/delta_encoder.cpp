// For now the step keeps what the two versions share at their start and at
// their end and inserts what lies between.
#include "maker/delta_encoder.h"

#include <algorithm>

#include "engine/crc32.h"
#include "maker/delta_writer.h"

namespace ztx {

VersionSpec EncodeDelta(const std::string& from, const std::string& to) {
  size_t prefix = 0;
  while (prefix < from.size() && prefix < to.size() && from[prefix] == to[prefix]) ++prefix;
  size_t suffix = 0;
  const size_t room = std::min(from.size(), to.size()) - prefix;
  while (suffix < room && from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix]) ++suffix;

  DeltaParameters p;
  p.source_size = static_cast<std::uint32_t>(from.size());
  p.output_size = static_cast<std::uint32_t>(to.size());
  p.tail_length_period = 0;  // one tail length (0) for the whole step
  p.insert_block_size = 255;
  std::vector<DeltaCommand> commands;
  std::int64_t next = 0;  // LastAddress + LastLength
  if (prefix > 0) {
    commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(prefix), 0));
    next = static_cast<std::int64_t>(prefix);
  }
  const size_t middle = to.size() - prefix - suffix;
  if (middle > 0) {
    const size_t chunks = InsertChunks(static_cast<std::uint32_t>(middle), p.insert_block_size).size();
    commands.push_back(DeltaCommand::Insert(to.substr(prefix, middle), std::vector<bool>(chunks, true)));
  }
  if (suffix > 0) {
    const auto at = static_cast<std::int64_t>(from.size() - suffix);
    commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(suffix), static_cast<std::int32_t>(at - next)));
  }

  VersionSpec v;
  v.crc = Crc32Update(kCrcInitial, from.data(), static_cast<std::uint32_t>(from.size()));
  v.size = p.source_size;
  v.tail_length_period = p.tail_length_period;
  v.delta_flags = p.delta_flags;
  v.insert_block_size = p.insert_block_size;
  v.streams = WriteDeltaStreams(p, commands);
  return v;
}

size_t EncodedSize(const VersionSpec& v) {
  size_t size = 1 + v.source_name.size() + SourceVersion::kSize;
  for (const std::string& s : v.streams) size += s.size();
  return size;
}

}  // namespace ztx
