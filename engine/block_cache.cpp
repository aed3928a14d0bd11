#include "engine/block_cache.h"

#include <algorithm>
#include <cstring>

namespace ztx {

BlockCache::BlockCache(FileLayer& files, FileHandle file, std::uint32_t block_size, std::uint32_t block_count,
                       std::uint64_t file_size)
    : files_(files),
      file_(file),
      block_size_(block_size),
      slots_(static_cast<size_t>(std::clamp<std::uint64_t>((file_size + block_size - 1) / block_size, 1, block_count))) {}

bool BlockCache::Read(std::uint32_t at, std::uint32_t n, std::uint32_t limit, std::uint8_t* out) {
  // Not zeroed: a slot's bytes are read only after the file filled them.
  if (!bytes_) bytes_.reset(new std::uint8_t[size_t{block_size_} * slots_.size()]);
  while (n > 0) {
    const std::uint32_t start = at & ~(block_size_ - 1);
    const std::uint32_t take = std::min(n, start + block_size_ - at);
    const size_t index = (start / block_size_) % slots_.size();
    Slot& slot = slots_[index];
    std::uint8_t* block = bytes_.get() + index * block_size_;
    if (slot.length == 0 || slot.start != start || slot.start + slot.length < at + take) {
      const std::uint32_t length = std::min(block_size_, limit - start);
      slot.length = 0;
      if (!files_.SeekTo(file_, start) || !files_.ReadBytes(file_, block, length)) return false;
      slot.start = start;
      slot.length = length;
    }
    std::memcpy(out, block + (at - start), take);
    at += take;
    out += take;
    n -= take;
  }
  return true;
}

}  // namespace ztx
