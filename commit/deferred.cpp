#include "commit/deferred.h"

#include "commit/record_paths.h"

namespace ztx {
namespace {

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && path[0] == '\\') || (path.size() > 1 && path[1] == ':');
}

// WININIT.INI takes absolute paths, the source in its short form; a line
// "NUL=source" deletes the source.
void QueueInWininit(Session& s, std::string from, std::string to) {
  Os& os = s.files.os();
  const std::string current = os.CurrentFolder();
  if (!IsAbsolute(from)) from = JoinPath(current, from);
  from = os.ShortPath(from);
  if (from.empty()) return;  // nothing there to move
  if (to.empty()) {
    to = "NUL";
  } else if (!IsAbsolute(to)) {
    to = JoinPath(os.ShortPath(current), to);
  }
  os.WriteProfileString("rename", to, from, "WININIT.INI");
}

void DeferRecord(Session& s, int group, RecordKind kind) {
  const RecordPaths p = PathsOf(s, group);
  if (kind != RecordKind::kRemoveFile && !s.files.FileExists(p.staged)) return;  // nothing staged
  if (s.files.HasFile(p.target)) {
    // A copy an earlier apply left in the backup folder would stop the move of
    // the old file, and then the new file could not take its place either.
    if (s.files.HasFile(p.backup) && !s.files.DeleteFileForce(p.backup)) {
      QueuePendingRename(s, p.backup, "");
    }
    QueuePendingRename(s, p.target, p.backup);
    s.files.MakeParentFolders(p.backup);
  }
  if (kind != RecordKind::kRemoveFile) QueuePendingRename(s, p.staged, p.target);
}

}  // namespace

void QueuePendingRename(Session& s, const std::string& from, const std::string& to) {
  Os& os = s.files.os();
  const bool nt_family = os.Version() < 0x80000000u;
  if (nt_family) {
    os.DelayedMove(from, to);
  } else {
    QueueInWininit(s, from, to);
  }
}

RecordHandler DeferredHandler(Session& s) {
  // The records the commit pass got through are done.
  return ForFileRecords(s, [&s](int group, RecordKind kind, const CommitRecord* done) {
    if (!done) DeferRecord(s, group, kind);
  });
}

}  // namespace ztx
