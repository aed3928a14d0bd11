// The three paths of a record that names a file, joined with one backslash each:
//   staged  StagingFolder \ FileName              the new version
//   target  TargetFolder \ FileName               the file the patch changes
//   backup  TargetFolder \ BackupFolder \ FileName the old file, moved aside
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "core/names.h"
#include "core/records.h"
#include "core/session.h"

namespace ztx {

struct RecordPaths {
  std::string staged, target, backup;
  // The staged and the backup path relative to the target folder, for pruning
  // the folders they leave empty without ever leaving the target's tree.
  std::string staged_relative, backup_relative;
};

inline RecordPaths PathsOf(const Session& s, int group) {
  RecordPaths p;
  const std::string& target_folder = s.names.current_target_folder;
  const std::string& staging = s.staging_folders[group];  // TargetFolder \ PATCH<n>.TMP
  p.staged = JoinPath(staging, s.record.file_name);
  p.staged_relative = JoinPath(staging.substr(std::min(staging.size(), target_folder.size() + 1)),
                               s.record.file_name);
  p.backup_relative = JoinPath(s.backup_folder, s.record.file_name);
  p.target = JoinPath(target_folder, s.record.file_name);
  p.backup = JoinPath(target_folder, p.backup_relative);
  return p;
}

inline bool IsFileRecordKind(RecordKind kind) {
  return kind == RecordKind::kFile || kind == RecordKind::kStoredFile || kind == RecordKind::kRemoveFile;
}

// The handler of a pass that closes an apply: `action` runs for each file record
// (kinds 1 to 3) with what the commit pass did for it, or nullptr when the commit
// pass did not get that far. Always 0.
using FileRecordAction = std::function<void(int group, RecordKind kind, const CommitRecord* done)>;
inline RecordHandler ForFileRecords(Session& s, FileRecordAction action) {
  auto index = std::make_shared<size_t>(0);  // file records seen, in script order
  return [&s, index, action = std::move(action)](int group, RecordKind kind) {
    if (IsFileRecordKind(kind)) {
      const size_t i = (*index)++;
      action(group, kind, i < s.committed.size() ? &s.committed[i] : nullptr);
    }
    return msg::kOk;
  };
}

}  // namespace ztx
