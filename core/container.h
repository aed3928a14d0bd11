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

// Patches made by ztx also say what their script unpacks to: the header starts
// with the 9 bytes of kZtxSignature, and holds at offset 10 the CRC-32 register
// of the unpacked script, at offset 14 its size (u32 each), and at offset 18 a
// copy of the flags byte and the two text lengths (offsets 9 and 74 to 77). A
// patch whose script unpacks to anything else, or whose copies disagree, is
// damaged (message 1): a corrupted patch cannot pass for another, smaller one.
// Patches without the signature are read as they are.
constexpr char kZtxSignature[9] = {'Z', 'T', 'X', 'P', 'A', 'T', 'C', 'H', 1};
constexpr std::uint32_t kScriptCrcOffset = 10;
constexpr std::uint32_t kScriptSizeOffset = 14;
constexpr std::uint32_t kFieldCopyOffset = 18;  // flags byte, then the 4 bytes at 74

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
