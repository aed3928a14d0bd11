// The format writer for the patch script: location entries, record groups and
// every record kind, encoded exactly as core/records.cpp and commit/location.cpp
// read them. Tests build their patches with it; the patch maker grows from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/script_format.h"

namespace ztx {

// Little-endian numbers and length-prefixed strings.
class ByteWriter {
 public:
  ByteWriter& U8(std::uint32_t v);
  ByteWriter& U16(std::uint32_t v);
  ByteWriter& U32(std::uint32_t v);
  // One length byte and the bytes; a string over 255 bytes cannot be written.
  ByteWriter& String(const std::string& s);
  ByteWriter& Bytes(const std::string& s);
  const std::string& bytes() const { return out_; }

 private:
  std::string out_;
};

struct LocationSpec {
  LocationKind kind = LocationKind::kUserFolder;
  std::uint32_t root = 0;  // RegistryPath only
  std::string sub_key;
  std::string value_name;
};

struct VersionSpec {
  std::string source_name;  // empty: the record's FileName
  std::uint32_t crc = 0;
  std::uint32_t size = 0;
  std::uint16_t tail_length_period = 0;
  std::uint8_t delta_flags = 0;
  std::uint8_t insert_block_size = 0;
  std::uint32_t exclude_offset = 0;  // written only with ExcludeRanges
  std::uint32_t exclude_length = 0;
  std::array<std::string, kStreamCount> streams;  // their lengths are written too
};

struct FileRecordSpec {
  std::string file_name;
  std::uint32_t new_crc = 0;
  std::uint32_t new_size = 0;
  std::uint32_t new_timestamp = 0;
  std::uint8_t file_flags = 0;
  std::uint32_t new_exclude_offset = 0;  // written only with ExcludeRanges
  std::uint32_t new_exclude_length = 0;
  std::vector<VersionSpec> versions;
};

// One record group: the backup folder name, records, GroupEnd.
class GroupWriter {
 public:
  explicit GroupWriter(std::string backup_folder) : backup_folder_(std::move(backup_folder)) {}

  GroupWriter& File(const FileRecordSpec& spec);
  GroupWriter& StoredFile(const std::string& name, const std::string& content,
                          std::uint32_t timestamp = 0);
  GroupWriter& RemoveFile(const std::string& name);
  GroupWriter& Registry(const std::string& block);
  // Bytes as they are, for records no writer method makes.
  GroupWriter& Raw(const std::string& bytes);

  std::string Bytes() const;

 private:
  std::string backup_folder_;
  ByteWriter records_;
};

// A registry block: the install-path check, then operations, then End.
class RegistryBlockWriter {
 public:
  RegistryBlockWriter(std::uint32_t check_root, const std::string& check_sub_key,
                      const std::string& check_value_name);
  RegistryBlockWriter& OpenKey(std::uint32_t root, const std::string& sub_key);
  RegistryBlockWriter& SetValue(const std::string& name, std::uint32_t type, const std::string& data);
  // Bytes as they are, for operations no method makes.
  RegistryBlockWriter& Raw(const std::string& bytes);
  // The block with its End code.
  std::string Bytes() const;
  // The block without End.
  std::string BytesWithoutEnd() const { return out_.bytes(); }

 private:
  ByteWriter out_;
};

struct LocatedGroup {
  LocationSpec location;
  GroupWriter group;
};

// The location block and the groups: each entry followed by its group, every
// entry but the last with MoreEntries set.
std::string BuildRecords(const std::vector<LocatedGroup>& groups);

}  // namespace ztx
