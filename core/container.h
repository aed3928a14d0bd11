// The patch container: patch data appended to the applier's own executable.
//
//   file size - DataLength   PatchHeader, 78 bytes
//                            body: the patch script, raw DEFLATE or stored
//   file size - 8            trailer: u32 DataLength (header start to end of
//                            file, trailer included), u32 not interpreted
//
// PatchHeader: 9 bytes not interpreted; u8 HeaderFlags (bit 0: body is raw
// DEFLATE); 64 bytes not interpreted; u16 SkippedTextLength; u16
// DescriptionLength. A signed patch has the signature's certificate table
// behind the trailer (named by the PE security directory, after up to 7 bytes of
// zero padding); the trailer is then found right before it. The unpacked script starts with a skipped text block and the
// description (Big5, a 0 byte for each line break); the location block follows.
#pragma once

#include <cstdint>

#include "core/messages.h"
#include "core/session.h"

namespace ztx {

constexpr std::uint32_t kTrailerSize = 8;
constexpr std::uint32_t kMinDataLength = PatchHeader::kSize + kTrailerSize;
constexpr std::uint32_t kMaxDescriptionLength = 1002;
// Positions in the script are signed 32-bit; a body that unpacks to more is damaged.
constexpr std::uint32_t kMaxScriptSize = 0x7FFFFFFF;

// Opens session.names.program_path, reads trailer and header, unpacks the script
// and reads the two text blocks; hands the description to the window.
// 0, or 15 (cannot open), 16 (not a patch), 1 (body unreadable or damaged),
// 39 (scratch file), 14 (text blocks unreadable or description too long).
MessageId OpenPatchContainer(Session& session);

// Unpacks the body that follows the header into a fresh scratch file, which
// becomes session.script, positioned at 0. Expects the container file to stand
// right after the header.
MessageId ExtractPatchScript(Session& session);

}  // namespace ztx
