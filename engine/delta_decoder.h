// The delta decoder: rebuilds one file version (the output) from the previous
// one (the source) and five delta streams, keeping the output's CRC and length.
#pragma once

#include <array>
#include <cstdint>

#include "core/file_layer.h"
#include "core/messages.h"
#include "core/script_format.h"
#include "core/ui_hooks.h"
#include "engine/stream_reader.h"

namespace ztx {

// The five streams in the order they stand in the patch.
enum DeltaStream {
  kNumberStream = 0,  // number bytes and tail-length bytes
  kFlagStreamA = 1,   // third/fourth-byte flags of numbers, insert chunk modes
  kFlagStreamB = 2,   // second-byte flags and sign bits of numbers
  kInsertStream = 3,  // bytes of insert commands
  kTailStream = 4,    // bytes that follow copies
};

// DeltaFlags bits.
namespace delta_flags {
constexpr std::uint8_t kBoundCountsOutput = 0x01;  // NumberBound = source + output size
constexpr std::uint8_t kPlainTails = 0x02;         // tails are not added to source bytes
}  // namespace delta_flags

struct DeltaFiles {
  FileHandle source = kNullHandle;  // the old version, open for reading
  FileHandle output = kNullHandle;  // new, empty, open for reading and writing
  std::array<ByteSource*, kStreamCount> streams{};
};

struct DeltaResult {
  MessageId result = msg::kOk;
  std::uint32_t output_crc = 0xFFFFFFFF;  // register over every byte written
  std::uint32_t output_length = 0;
};

// Rebuilds the output. `output_size` is the size the output is meant to have:
// it sets the width of numbers, and the output never grows beyond it.
// Result 0; 1 when the delta is damaged (a stream runs out, an address falls
// outside what exists, InsertBlockSize is 0); 12 when the output would grow
// beyond output_size; 38 when writing the output fails.
DeltaResult ApplyDelta(FileLayer& files, const DeltaFiles& io, const SourceVersion& version,
                       std::uint32_t output_size, UiHooks& ui);

}  // namespace ztx
