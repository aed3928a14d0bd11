// The commit pass: puts the staged new files in place and moves every old file
// it replaces or removes into the group's backup folder first. It moves files;
// the only thing it deletes is an older copy in the backup folder.
#pragma once

#include "core/messages.h"
#include "core/records.h"
#include "core/session.h"

namespace ztx {

// 0; 7 (an old file cannot be moved aside: in use), 8 (an older backup copy
// cannot be deleted), 37 (a staged file cannot be moved into place).
MessageId CommitRecordHandler(Session& session, int group, RecordKind kind);

// Moves the file at `target` to `backup`, replacing an older copy there.
// 0 (also when there is no file), 7 or 8. *moved tells whether a file moved.
MessageId MoveToBackup(Session& session, const std::string& target, const std::string& backup,
                       bool* moved);

}  // namespace ztx
