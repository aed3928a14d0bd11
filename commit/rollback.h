// The passes that close a failed or finished apply: the rollback puts back what
// the commit pass moved, the cleanup removes what the staging pass left.
#pragma once

#include "core/records.h"
#include "core/session.h"

namespace ztx {

// For each file record the commit pass got through: an old file it moved aside
// goes back to its place (the new file there is deleted first); a file it added
// where none was is deleted again. Copies that earlier applies left in the backup
// folder are never touched. Always 0.
RecordHandler RollbackHandler(Session& session);

// Deletes the staged files of every group, the chain files a failed step left,
// and the staging folders as far as they are then empty.
void CleanUp(Session& session);

}  // namespace ztx
