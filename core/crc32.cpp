#include "core/crc32.h"

#ifdef ZTX_CRC_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <vector>

namespace ztx {
namespace {

constexpr std::uint32_t kPiece = 64 * 1024;

}  // namespace

std::uint32_t Crc32Update(std::uint32_t reg, const void* bytes, std::uint32_t count) {
  if (count == 0) return reg;
  // Both libraries compute the common CRC-32, the complement of the register.
#ifdef ZTX_CRC_LIBDEFLATE
  return ~libdeflate_crc32(~reg, bytes, count);
#else
  return ~static_cast<std::uint32_t>(crc32(~reg & 0xFFFFFFFFu, static_cast<const Bytef*>(bytes), count));
#endif
}

std::uint32_t RangeCrc(FileLayer& files, FileHandle file, std::uint32_t start, std::uint32_t end,
                       std::uint32_t reg) {
  if (start >= end || !files.SeekTo(file, start)) return reg;
  std::vector<std::uint8_t> buffer(std::min(kPiece, end - start));
  for (std::uint32_t at = start; at < end;) {
    const std::uint32_t n = std::min<std::uint32_t>(kPiece, end - at);
    if (!files.ReadBytes(file, buffer.data(), n)) break;
    reg = Crc32Update(reg, buffer.data(), n);
    at += n;
  }
  return reg;
}

std::uint32_t FileCrc(FileLayer& files, FileHandle file, std::uint32_t exclude_offset,
                      std::uint32_t exclude_length) {
  const std::uint32_t size = files.FileSize(file);
  if (exclude_length == 0) return RangeCrc(files, file, 0, size, kCrcInitial);
  // Both ranges are clipped to the file; a range that would wrap past 4 GiB
  // leaves nothing behind it.
  const std::uint64_t resume = std::uint64_t{exclude_offset} + exclude_length;
  const std::uint32_t reg = RangeCrc(files, file, 0, std::min(exclude_offset, size), kCrcInitial);
  if (resume >= size) return reg;
  return RangeCrc(files, file, static_cast<std::uint32_t>(resume), size, reg);
}

}  // namespace ztx
