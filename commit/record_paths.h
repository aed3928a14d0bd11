// The three paths of a record that names a file, joined with one backslash each:
//   staged  StagingFolder \ FileName              the new version
//   target  TargetFolder \ FileName               the file the patch changes
//   backup  TargetFolder \ BackupFolder \ FileName the old file, moved aside
#pragma once

#include <algorithm>
#include <string>

#include "core/names.h"
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

}  // namespace ztx
