// Deferred replacement: when an old file is in use, the rest of the commit is
// handed to Windows, which carries out the moves at its next start (delayed moves
// on the NT family, the [rename] section of WININIT.INI on the 95 family).
#pragma once

#include <string>

#include "core/records.h"
#include "core/session.h"

namespace ztx {

// The handler of the pass: queues, for every file record the commit pass did
// not get through, the move of the old file into the backup folder (an older
// copy there is removed first) and, unless the record removes the file, the move
// of the staged file into place. Always 0.
RecordHandler DeferredHandler(Session& session);

// Queues one move for the next start of Windows; an empty `to` deletes `from`.
void QueuePendingRename(Session& session, const std::string& from, const std::string& to);

}  // namespace ztx
