#include "core/records.h"

#include "core/names.h"
#include "core/text.h"

namespace ztx {
namespace {

// More staging folders than this in one folder means something is wrong there.
constexpr int kMaxStagingFolders = 10000;

// Moves the script position past a payload of `length` bytes, which must lie
// inside the script: a length from a damaged patch never sends a pass beyond it.
bool SkipPayload(PatchScript& in, std::uint32_t length) {
  const std::uint64_t end = std::uint64_t{in.Position()} + length;
  if (end > in.Size()) return false;
  return in.SeekTo(static_cast<std::uint32_t>(end));
}

bool ReadName(PatchScript& in, std::string* name) {
  return in.ReadString(name) && IsSafeRelativeName(*name);
}

bool ReadSourceVersion(PatchScript& in, SourceVersion* v) {
  if (!in.ReadU32(&v->crc) || !in.ReadU32(&v->size)) return false;
  for (std::uint32_t& length : v->stream_lengths) {
    if (!in.ReadU32(&length)) return false;
  }
  return in.ReadU16(&v->tail_length_period) && in.ReadU8(&v->delta_flags) &&
         in.ReadU8(&v->insert_block_size);
}

bool ReadFileRecord(PatchScript& in, RecordState& r) {
  FileRecordFields f;
  std::uint16_t reserved16;
  std::uint8_t reserved8;
  if (!in.ReadU32(&f.new_crc) || !in.ReadU32(&f.new_size) || !in.ReadU32(&f.new_timestamp) ||
      !in.ReadU16(&reserved16) || !in.ReadU16(&f.version_count) || !in.ReadU8(&f.file_flags) ||
      !in.ReadU8(&reserved8)) {
    return false;
  }
  if (f.version_count > kMaxVersions) return false;  // before any version slot is written
  const bool exclude = f.file_flags & file_flags::kExcludeRanges;
  if (exclude && (!in.ReadU32(&f.new_exclude_offset) || !in.ReadU32(&f.new_exclude_length))) {
    return false;
  }
  if (!ReadName(in, &r.file_name)) return false;
  r.file = f;
  for (int i = 0; i < f.version_count; ++i) {
    VersionEntry& v = r.versions[i];
    v = VersionEntry{};
    if (!in.ReadString(&v.source_name)) return false;
    if (v.source_name.empty()) v.source_name = r.file_name;
    if (!IsSafeRelativeName(v.source_name) || !ReadSourceVersion(in, &v.version)) return false;
    if (exclude && (!in.ReadU32(&v.exclude_offset) || !in.ReadU32(&v.exclude_length))) {
      return false;
    }
    v.streams_offset = in.Position();
    for (std::uint32_t length : v.version.stream_lengths) {
      if (!SkipPayload(in, length)) return false;
    }
  }
  return true;
}

bool ReadStoredFileRecord(PatchScript& in, RecordState& r) {
  std::uint16_t reserved;
  if (!ReadName(in, &r.file_name) || !in.ReadU32(&r.data_size) || !in.ReadU32(&r.timestamp) ||
      !in.ReadU16(&reserved)) {
    return false;
  }
  r.data_offset = in.Position();
  return SkipPayload(in, r.data_size);
}

bool ReadRegistryRecord(PatchScript& in, RecordState& r) {
  if (!in.ReadU32(&r.block_length)) return false;
  r.block_offset = in.Position();
  return SkipPayload(in, r.block_length);
}

// The name at the start of a group. 1 when it cannot be read, 37 when it would
// put the old files anywhere but in a folder of their own below the target.
MessageId ReadBackupFolder(Session& s) {
  std::string name;
  if (!s.script.ReadString(&name)) return msg::kPatchDamaged;
  if (!IsSafeBackupFolder(name)) return msg::kBadStructure;
  s.backup_folder = name;
  return msg::kOk;
}

}  // namespace

bool ReadRecord(Session& s) {
  PatchScript& in = s.script;
  RecordState& r = s.record;
  std::uint8_t kind = 0;
  if (!in.ReadU8(&kind)) return false;
  bool ok = false;
  switch (static_cast<RecordKind>(kind)) {
    case RecordKind::kGroupEnd: ok = true; break;
    case RecordKind::kFile: ok = ReadFileRecord(in, r); break;
    case RecordKind::kStoredFile: ok = ReadStoredFileRecord(in, r); break;
    case RecordKind::kRemoveFile: ok = ReadName(in, &r.file_name); break;
    case RecordKind::kRegistry: ok = ReadRegistryRecord(in, r); break;
  }
  if (!ok) return false;
  r.kind = static_cast<RecordKind>(kind);
  if (r.kind == RecordKind::kFile || r.kind == RecordKind::kStoredFile ||
      r.kind == RecordKind::kRemoveFile) {
    s.names.current_file_name = r.file_name;
  }
  r.end_offset = in.Position();
  return r.end_offset != 0xFFFFFFFF;
}

MessageId MakeStagingFolder(Session& s, const std::string& base, std::string* name) {
  s.files.MakeParentFolders(base + "\\x");  // base and its parents; x is never made
  for (int n = 0; n < kMaxStagingFolders; ++n) {
    *name = base + "\\PATCH" + DecimalText(n) + ".TMP";
    if (!s.files.IsPlainFolder(*name)) {
      return s.files.MakeFolder(*name) ? msg::kOk : msg::kStagingFolderFailed;
    }
  }
  return msg::kStagingFolderFailed;
}

MessageId RunGroup(Session& s, int group, const RecordHandler& handler) {
  std::string& staging = s.staging_folders[group];
  if (staging.empty()) {
    if (MessageId r = MakeStagingFolder(s, s.names.current_target_folder, &staging)) return r;
  }
  for (;;) {
    if (!ReadRecord(s)) return msg::kBadStructure;
    if (s.record.kind == RecordKind::kGroupEnd) return msg::kOk;
    if (MessageId r = handler(group, s.record.kind)) return r;
    // The next record starts where this one ended, whatever its handler read:
    // every pass sees the same records.
    if (!s.script.SeekTo(s.record.end_offset)) return msg::kBadStructure;
  }
}

MessageId ForEachRecord(Session& s, const RecordHandler& handler, bool stop_at_error) {
  MessageId first_error = msg::kOk;
  for (int i = 0; i <= s.locations.last_row; ++i) {
    const LocationRow& row = s.locations.rows[i];
    if (!s.script.SeekTo(row.group_position)) return msg::kPatchDamaged;
    if (stop_at_error && s.ui.CancelRequested()) return msg::kCancelled;
    if (MessageId r = ReadBackupFolder(s)) return r;
    s.names.current_target_folder = row.folder;
    const MessageId r = RunGroup(s, i, handler);
    if (r == msg::kOk) continue;
    if (stop_at_error) return r;
    if (first_error == msg::kOk) first_error = r;
  }
  return first_error;
}

MessageId SkipGroup(Session& s) {
  if (MessageId r = ReadBackupFolder(s)) return r;
  do {
    if (!ReadRecord(s)) return msg::kBadStructure;
  } while (s.record.kind != RecordKind::kGroupEnd);
  return msg::kOk;
}

MessageId CheckRecordGroups(Session& s) {
  for (int i = 0; i <= s.locations.last_row; ++i) {
    if (!s.script.SeekTo(s.locations.rows[i].group_position)) return msg::kPatchDamaged;
    if (MessageId r = SkipGroup(s)) return r;
  }
  return msg::kOk;
}

void BeginApply(Session& s) { s.staging_folders.fill(std::string()); }

}  // namespace ztx
