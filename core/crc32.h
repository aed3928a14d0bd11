// CRC-32 as the patch format uses it: the CRC-32/JAMCRC parameters (reflected
// polynomial 0x04C11DB7, register starts at 0xFFFFFFFF, no final inversion). The
// value stored in a patch is the register itself, the bitwise complement of the
// common CRC-32: 0x340BC6D9 over "123456789", 0xFFFFFFFF over nothing.
//
// zlib's crc32() (and libdeflate's, which native builds use) keeps the common
// CRC-32, whose running value is the complement of our register, so each update
// complements on the way in and out.
#pragma once

#include <cstdint>

#include "core/file_layer.h"

namespace ztx {

constexpr std::uint32_t kCrcInitial = 0xFFFFFFFF;

std::uint32_t Crc32Update(std::uint32_t reg, const void* bytes, std::uint32_t count);

// Feeds the bytes [start, end) of the file into the register. A range that
// reaches past the end of the file, or a read that fails, stops there, which
// yields a register that matches nothing the patch expects.
std::uint32_t RangeCrc(FileLayer& files, FileHandle file, std::uint32_t start, std::uint32_t end,
                       std::uint32_t reg);

// The CRC of the whole file with one byte range left out (length 0: none).
std::uint32_t FileCrc(FileLayer& files, FileHandle file, std::uint32_t exclude_offset,
                      std::uint32_t exclude_length);

}  // namespace ztx
