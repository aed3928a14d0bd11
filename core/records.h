// The record passes. Every phase of an apply (staging, commit, registry, deferred
// replacement, rollback, cleanup) is a handler that a pass calls once for each
// record of each record group, in the order of the location table.
#pragma once

#include <functional>
#include <string>

#include "core/messages.h"
#include "core/script_format.h"
#include "core/session.h"

namespace ztx {

// Called with the location row and the kind of a record that has just been read
// into session.record. 0 goes on; anything else stops the group.
using RecordHandler = std::function<MessageId(int group, RecordKind kind)>;

// Reads the record at the script position into session.record and leaves the
// position right after it. False when it cannot be read whole, has an unknown
// kind, more than 20 versions, a payload that reaches past the end of the
// script, or a name that would leave the target folder.
bool ReadRecord(Session& session);

// One pass over all record groups. With stop_at_error the first non-zero result
// (and a cancel request, found when a group starts: 13) ends the pass; without,
// every group is visited and the first non-zero result is returned at the end.
// An unreadable backup folder name ends the pass with 1 either way; an unsafe
// one with 37.
MessageId ForEachRecord(Session& session, const RecordHandler& handler, bool stop_at_error);

// The records of group `group` from the current position: makes the group's
// staging folder when it has none yet, then reads records up to GroupEnd.
MessageId RunGroup(Session& session, int group, const RecordHandler& handler);

// Reads a whole group (backup folder name and records) from the current position
// without a handler and without touching any file. 0, 1 or 37.
MessageId SkipGroup(Session& session);

// Reads every group of the location table, as ForEachRecord would, without
// touching any file: a damaged or hostile record is found before a pass acts on
// any record. 0, 1 or 37.
MessageId CheckRecordGroups(Session& session);

// Chooses the first of base\PATCH0.TMP, base\PATCH1.TMP, ... that is not a plain
// folder and creates it (and base with its parents). 0, or 11.
MessageId MakeStagingFolder(Session& session, const std::string& base, std::string* name);

// Forgets the staging folders of an earlier apply, so that each apply makes its
// own in its own target folder.
void BeginApply(Session& session);

}  // namespace ztx
