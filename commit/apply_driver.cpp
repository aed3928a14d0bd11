#include "commit/apply_driver.h"

#include "commit/commit_pass.h"
#include "commit/deferred.h"
#include "commit/location.h"
#include "commit/registry_pass.h"
#include "commit/rollback.h"
#include "core/records.h"
#include "engine/staging.h"

namespace ztx {
namespace {

MessageId Fail(Session& s, MessageId r) {
  LogMessage(r, s.names, s.ui);
  return r;
}

bool FinishFlushes(Session& s) {
  for (const std::string& folder : s.staging_folders) {
    if (!folder.empty() && !s.files.os().FinishFlushes(folder)) return false;
  }
  return true;
}

}  // namespace

MessageId ApplyPatch(Session& s) {
  BeginApply(s);
  s.committed.clear();
  LogMessage(msg::kChecking, s.names, s.ui);

  if (MessageId r = RunLocationPass(s)) return Fail(s, r);
  // Every record is read once before any file is touched: a damaged or hostile
  // record stops the apply while the folders are as they were.
  if (MessageId r = CheckRecordGroups(s)) return Fail(s, r);

  MessageId staged = ForEachRecord(s, StagingHandler(s), true);
  // Every staged file is on the disk before the first one is moved into place.
  if (staged == msg::kOk && !FinishFlushes(s)) staged = msg::kDiskFull;
  if (staged != msg::kOk) {
    Fail(s, staged);
    CleanUp(s);
    return staged;
  }

  MessageId r = ForEachRecord(s, [&s](int g, RecordKind k) { return CommitRecordHandler(s, g, k); }, true);
  if (r == msg::kOk) {
    r = ForEachRecord(s, [&s](int g, RecordKind k) { return RegistryRecordHandler(s, g, k); }, true);
  }
  if (r == msg::kOk) {
    CleanUp(s);
    return msg::kOk;
  }

  if (r == msg::kFileInUse) {
    ForEachRecord(s, DeferredHandler(s), false);
    const bool restart = s.ui.AskYesNo(MessageText(msg::kRestartQuestion, s.names), RestartCaption()) &&
                         s.files.os().RequestRestart();
    return restart ? msg::kFileInUse : msg::kRestartDeclined;
  }

  Fail(s, r);
  ForEachRecord(s, RollbackHandler(s), false);
  CleanUp(s);
  return r;
}

}  // namespace ztx
