#include "commit/commit_pass.h"

#include "commit/record_paths.h"

namespace ztx {

MessageId MoveToBackup(Session& s, const std::string& target, const std::string& backup, bool* moved) {
  *moved = false;
  // A file that is there but cannot be opened (held by another program) is
  // still there: trying to move it tells whether it is in use.
  if (!s.files.HasFile(target)) return msg::kOk;
  s.files.MakeParentFolders(backup);
  if (s.files.HasFile(backup) && !s.files.DeleteFileForce(backup)) return msg::kBackupCopyLocked;
  if (!s.files.MoveFileTo(target, backup)) return msg::kFileInUse;
  *moved = true;
  return msg::kOk;
}

MessageId CommitRecordHandler(Session& s, int group, RecordKind kind) {
  if (!IsFileRecordKind(kind)) return msg::kOk;
  const RecordPaths p = PathsOf(s, group);
  CommitRecord done;

  if (kind == RecordKind::kRemoveFile) {
    if (MessageId r = MoveToBackup(s, p.target, p.backup, &done.moved_old)) return r;
    s.committed.push_back(done);
    return msg::kOk;
  }

  s.files.MakeParentFolders(p.target);
  if (s.files.FileExists(p.staged)) {
    if (MessageId r = MoveToBackup(s, p.target, p.backup, &done.moved_old)) return r;
    s.committed.push_back(done);  // counted: its old file is aside now
    if (!s.files.MoveFileTo(p.staged, p.target)) return msg::kBadStructure;
    s.committed.back().placed_new = true;
  } else {
    // Nothing staged: already the new version, or an optional file left out.
    s.committed.push_back(done);
  }

  const std::uint32_t stamp = kind == RecordKind::kFile ? s.record.file.new_timestamp : s.record.timestamp;
  if (stamp != 0) {
    ScopedFile file(s.files, s.files.OpenReadWrite(p.target));
    if (file) s.files.SetWriteTime(file.get(), stamp);
  }
  // The staging folder goes with its last file.
  s.files.PruneEmptyFolders(s.names.current_target_folder, p.staged_relative);
  return msg::kOk;
}

}  // namespace ztx
