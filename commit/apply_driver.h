// The apply driver: one run of the whole patch, pass after pass.
//
//   location  -> staging (stops at the first error) -> commit -> registry
//   success:            cleanup
//   staging failed:     cleanup
//   an old file in use: deferred replacement, then the restart question
//   anything else:      rollback, then cleanup
#pragma once

#include "core/messages.h"
#include "core/session.h"

namespace ztx {

// 0 when the patch was applied completely; 7 when replacements were deferred to
// the next start of Windows and the restart was granted; 10 when they were
// deferred and the restart declined or refused; any other value is the failure
// that ended the apply, already logged.
MessageId ApplyPatch(Session& session);

}  // namespace ztx
