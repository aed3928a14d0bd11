#include "maker/script_writer.h"

#include <stdexcept>

namespace ztx {

ByteWriter& ByteWriter::U8(std::uint32_t v) {
  out_ += static_cast<char>(v & 0xFF);
  return *this;
}

ByteWriter& ByteWriter::U16(std::uint32_t v) { return U8(v).U8(v >> 8); }

ByteWriter& ByteWriter::U32(std::uint32_t v) { return U16(v).U16(v >> 16); }

ByteWriter& ByteWriter::String(const std::string& s) {
  if (s.size() > 255) throw std::length_error("script string over 255 bytes: " + s);
  U8(static_cast<std::uint32_t>(s.size()));
  return Bytes(s);
}

ByteWriter& ByteWriter::Bytes(const std::string& s) {
  out_ += s;
  return *this;
}

GroupWriter& GroupWriter::File(const FileRecordSpec& spec) {
  const bool exclude = spec.file_flags & file_flags::kExcludeRanges;
  records_.U8(static_cast<std::uint8_t>(RecordKind::kFile))
      .U32(spec.new_crc)
      .U32(spec.new_size)
      .U32(spec.new_timestamp)
      .U16(0)  // reserved
      .U16(static_cast<std::uint32_t>(spec.versions.size()))
      .U8(spec.file_flags)
      .U8(0);  // reserved
  if (exclude) records_.U32(spec.new_exclude_offset).U32(spec.new_exclude_length);
  records_.String(spec.file_name);
  for (const VersionSpec& v : spec.versions) {
    records_.String(v.source_name).U32(v.crc).U32(v.size);
    for (const std::string& stream : v.streams) {
      records_.U32(static_cast<std::uint32_t>(stream.size()));
    }
    records_.U16(v.tail_length_period).U8(v.delta_flags).U8(v.insert_block_size);
    if (exclude) records_.U32(v.exclude_offset).U32(v.exclude_length);
    for (const std::string& stream : v.streams) records_.Bytes(stream);
  }
  return *this;
}

GroupWriter& GroupWriter::StoredFile(const std::string& name, const std::string& content,
                                     std::uint32_t timestamp) {
  records_.U8(static_cast<std::uint8_t>(RecordKind::kStoredFile))
      .String(name)
      .U32(static_cast<std::uint32_t>(content.size()))
      .U32(timestamp)
      .U16(0)  // reserved
      .Bytes(content);
  return *this;
}

GroupWriter& GroupWriter::RemoveFile(const std::string& name) {
  records_.U8(static_cast<std::uint8_t>(RecordKind::kRemoveFile)).String(name);
  return *this;
}

GroupWriter& GroupWriter::Registry(const std::string& block) {
  records_.U8(static_cast<std::uint8_t>(RecordKind::kRegistry))
      .U32(static_cast<std::uint32_t>(block.size()))
      .Bytes(block);
  return *this;
}

GroupWriter& GroupWriter::Raw(const std::string& bytes) {
  records_.Bytes(bytes);
  return *this;
}

std::string GroupWriter::Bytes() const {
  ByteWriter out;
  out.String(backup_folder_).Bytes(records_.bytes()).U8(static_cast<std::uint8_t>(RecordKind::kGroupEnd));
  return out.bytes();
}

RegistryBlockWriter::RegistryBlockWriter(std::uint32_t check_root, const std::string& check_sub_key,
                                         const std::string& check_value_name) {
  out_.U32(check_root).String(check_sub_key).String(check_value_name).U32(0).U8(0);  // reserved
}

RegistryBlockWriter& RegistryBlockWriter::OpenKey(std::uint32_t root, const std::string& sub_key) {
  out_.U8(1).U32(root).String(sub_key);
  return *this;
}

RegistryBlockWriter& RegistryBlockWriter::SetValue(const std::string& name, std::uint32_t type,
                                                   const std::string& data) {
  out_.U8(2).String(name).U32(type).U32(static_cast<std::uint32_t>(data.size())).Bytes(data);
  return *this;
}

RegistryBlockWriter& RegistryBlockWriter::Raw(const std::string& bytes) {
  out_.Bytes(bytes);
  return *this;
}

std::string RegistryBlockWriter::Bytes() const { return out_.bytes() + std::string(1, '\0'); }

std::string BuildRecords(const std::vector<LocatedGroup>& groups) {
  if (groups.empty() || groups.size() > kMaxLocations) {
    throw std::length_error("a patch has 1 to 20 location entries");
  }
  ByteWriter out;
  for (size_t i = 0; i < groups.size(); ++i) {
    const LocationSpec& loc = groups[i].location;
    out.U8(static_cast<std::uint8_t>(loc.kind)).U8(i + 1 < groups.size() ? kMoreEntries : 0);
    if (loc.kind == LocationKind::kRegistryPath) {
      out.U32(loc.root).String(loc.sub_key).String(loc.value_name);
    }
    out.Bytes(groups[i].group.Bytes());
  }
  return out.bytes();
}

}  // namespace ztx
