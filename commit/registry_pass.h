// The registry pass: each RegistryRecord holds a block that first checks the
// target software's install path in the registry, then opens existing keys and
// writes values into them.
//
// RegistryBlock: u32 CheckRoot, string CheckSubKey, string CheckValueName, u32
// and u8 reserved, then operations, each a code byte:
//   0 End; 1 OpenKey (u32 root, string sub-key); 2 SetValue (string name, u32
//   type, u32 length, that many data bytes); 3..255 nothing.
// Reads never go beyond the record's BlockLength.
#pragma once

#include "core/messages.h"
#include "core/records.h"
#include "core/session.h"

namespace ztx {

// The largest SetValue data a block may carry.
constexpr std::uint32_t kMaxValueData = 1001;

// 0; 1 (the block cannot be read, or a value is longer than 1001 bytes), 40 (the
// install path is missing or empty), 41 (a key cannot be opened for writing, a
// value cannot be written, or a value comes before any OpenKey).
MessageId RegistryRecordHandler(Session& session, int group, RecordKind kind);

}  // namespace ztx
