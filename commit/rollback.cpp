#include "commit/rollback.h"

#include "commit/record_paths.h"

namespace ztx {

RecordHandler RollbackHandler(Session& s) {
  return ForFileRecords(s, [&s](int group, RecordKind, const CommitRecord* done) {
    if (!done) return;
    const RecordPaths p = PathsOf(s, group);
    if (done->moved_old) {
      s.files.DeleteFileForce(p.target);  // nothing there after a failed move in
      s.files.MoveFileTo(p.backup, p.target);
      s.files.PruneEmptyFolders(s.names.current_target_folder, p.backup_relative);
    } else if (done->placed_new) {
      s.files.DeleteFileForce(p.target);
    }
  });
}

void CleanUp(Session& s) {
  ForEachRecord(s, [&s](int group, RecordKind kind) {
    if (kind == RecordKind::kFile || kind == RecordKind::kStoredFile) {
      const RecordPaths p = PathsOf(s, group);
      s.files.DeleteFileForce(p.staged);
      s.files.PruneEmptyFolders(s.names.current_target_folder, p.staged_relative);
    }
    return msg::kOk;
  }, false);
  for (int i = 0; i <= s.locations.last_row; ++i) {
    const std::string& staging = s.staging_folders[i];
    if (staging.empty()) continue;
    s.files.DeleteFileForce(JoinPath(staging, "ZTXTMP1.TMP"));
    s.files.DeleteFileForce(JoinPath(staging, "ZTXTMP2.TMP"));
    s.files.RemoveFolder(staging);
  }
}

}  // namespace ztx
