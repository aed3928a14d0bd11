// The records of the patch script, as the reader decodes them and the format
// writer (maker/script_writer.h) encodes them. All numbers little-endian; a
// string is one length byte and that many Big5 bytes.
//
// LocationBlock, then one record group per location entry:
//   LocationEntry   u8 kind, u8 flags (bit 1: another entry follows after this
//                   entry's group); RegistryPath adds u32 root, string sub-key,
//                   string value name
//   record group    string BackupFolder, records, u8 0 (GroupEnd)
//
// Records: a kind byte and its payload.
//   1 FileRecord        u32 NewCrc, u32 NewSize, u32 NewTimestamp, u16 reserved,
//                       u16 VersionCount (0..20), u8 FileFlags, u8 reserved,
//                       [u32 NewExcludeOffset, u32 NewExcludeLength], string
//                       FileName, then per version: string SourceName (empty:
//                       FileName), 32-byte SourceVersion, [u32 exclude offset,
//                       u32 exclude length], the five delta streams
//   2 StoredFileRecord  string FileName, u32 DataSize, u32 Timestamp, u16
//                       reserved, DataSize bytes of content
//   3 RemoveFileRecord  string FileName
//   5 RegistryRecord    u32 BlockLength, BlockLength bytes of registry block
// [..] only with FileFlags bit 0 (ExcludeRanges).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ztx {

enum class RecordKind : std::uint8_t {
  kGroupEnd = 0,
  kFile = 1,
  kStoredFile = 2,
  kRemoveFile = 3,
  kRegistry = 5,
};

enum class LocationKind : std::uint8_t {
  kUserFolder = 0,
  kRegistryPath = 1,
  kWindowsFolder = 2,
  kSystemFolder = 3,
};

constexpr std::uint8_t kMoreEntries = 0x02;  // flag of a location entry

constexpr int kMaxVersions = 20;
constexpr int kMaxLocations = 20;
constexpr int kStreamCount = 5;

namespace file_flags {
constexpr std::uint8_t kExcludeRanges = 0x01;
constexpr std::uint8_t kOptionalFile = 0x02;
constexpr std::uint8_t kQuietOptional = 0x04;
}  // namespace file_flags

// The fixed 32 bytes that describe one old version and its delta streams.
struct SourceVersion {
  static constexpr std::uint32_t kSize = 32;
  std::uint32_t crc = 0;
  std::uint32_t size = 0;
  std::array<std::uint32_t, kStreamCount> stream_lengths{};
  std::uint16_t tail_length_period = 0;
  std::uint8_t delta_flags = 0;
  std::uint8_t insert_block_size = 0;
};

// One old version of a FileRecord.
struct VersionEntry {
  std::string source_name;  // as read: never empty, the FileName when stored empty
  SourceVersion version;
  std::uint32_t exclude_offset = 0;
  std::uint32_t exclude_length = 0;
  std::uint32_t streams_offset = 0;  // script position of its first stream byte
};

struct FileRecordFields {
  std::uint32_t new_crc = 0;
  std::uint32_t new_size = 0;
  std::uint32_t new_timestamp = 0;  // DOS date/time; 0 leaves the time alone
  std::uint16_t version_count = 0;
  std::uint8_t file_flags = 0;
  std::uint32_t new_exclude_offset = 0;
  std::uint32_t new_exclude_length = 0;
  bool optional() const { return file_flags & file_flags::kOptionalFile; }
  bool quiet() const { return file_flags & file_flags::kQuietOptional; }
};

// The record just read. Fields of other kinds keep the values of the last record
// that set them; a handler reads only the fields of the kind it was called for.
struct RecordState {
  RecordKind kind = RecordKind::kGroupEnd;
  std::string file_name;  // kinds 1, 2 and 3
  FileRecordFields file;
  std::array<VersionEntry, kMaxVersions> versions;
  std::uint32_t data_size = 0;   // StoredFileRecord
  std::uint32_t timestamp = 0;   // StoredFileRecord
  std::uint32_t data_offset = 0;
  std::uint32_t block_offset = 0;  // RegistryRecord
  std::uint32_t block_length = 0;
  std::uint32_t end_offset = 0;  // script position right after the record
};

}  // namespace ztx
