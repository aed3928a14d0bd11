// The delta stream writer: turns a list of delta commands into the five streams
// exactly as engine/delta_decoder.cpp reads them (numbers of 1 to 4 bytes as
// NumberBound allows, their flag and sign bits, tail-length bytes where the
// decoder expects them, insert chunks with their mode bits).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/script_format.h"

namespace ztx {

struct DeltaCommand {
  enum class Kind { kCopy, kInsert, kFiller };
  Kind kind = Kind::kCopy;
  // Copy: n bytes from LastAddress + LastLength + relative_address, then the
  // tail bytes as stored (differences to the source bytes behind the run unless
  // tails are plain). Every copy of one tail-length period carries a tail of
  // the same length; the writer puts that length in front of the period.
  std::int32_t length = 0;
  std::int32_t relative_address = 0;
  std::string tail;
  // Insert: the stored bytes, chunk after chunk, and each chunk's mode: plain,
  // or differences to the source bytes at the insert's base.
  std::string insert;
  std::vector<bool> chunk_plain;

  static DeltaCommand Copy(std::int32_t n, std::int32_t d, std::string tail = {}) {
    DeltaCommand c;
    c.kind = Kind::kCopy;
    c.length = n;
    c.relative_address = d;
    c.tail = std::move(tail);
    return c;
  }
  static DeltaCommand Insert(std::string bytes, std::vector<bool> chunk_plain) {
    DeltaCommand c;
    c.kind = Kind::kInsert;
    c.insert = std::move(bytes);
    c.chunk_plain = std::move(chunk_plain);
    return c;
  }
  static DeltaCommand Filler() {
    DeltaCommand c;
    c.kind = Kind::kFiller;
    return c;
  }
};

struct DeltaParameters {
  std::uint32_t source_size = 0;
  std::uint32_t output_size = 0;
  std::uint16_t tail_length_period = 1;
  std::uint8_t delta_flags = 0;
  std::uint8_t insert_block_size = 16;
};

// The width rule of the decoder: the largest value a number may need.
std::int64_t NumberBound(const DeltaParameters& p);

// The chunk sizes of an insert of m bytes.
std::vector<std::uint32_t> InsertChunks(std::uint32_t m, std::uint32_t block_size);

// The five streams. Throws std::invalid_argument for a command the format
// cannot carry (a number too wide for the bound, a tail whose length differs
// from its period's, a mode bit missing for a chunk).
std::array<std::string, kStreamCount> WriteDeltaStreams(const DeltaParameters& p,
                                                        const std::vector<DeltaCommand>& commands);

}  // namespace ztx
