#include "engine/block_cache.h"

#include <algorithm>
#include <cstring>

namespace ztx {

BlockCache::BlockCache(FileLayer& files, FileHandle file, int block_count)
    : files_(files), file_(file), blocks_(static_cast<size_t>(block_count)) {}

bool BlockCache::Read(std::uint32_t at, std::uint32_t n, std::uint32_t limit, std::uint8_t* out) {
  while (n > 0) {
    const std::uint32_t start = at - at % kBlockSize;
    const std::uint32_t take = std::min(n, start + kBlockSize - at);
    const Block* block = Fetch(start, at + take, limit);
    if (block == nullptr) return false;
    std::memcpy(out, block->bytes.data() + (at - start), take);
    at += take;
    out += take;
    n -= take;
  }
  return true;
}

const BlockCache::Block* BlockCache::Fetch(std::uint32_t start, std::uint32_t needed_end,
                                           std::uint32_t limit) {
  // Most reads fall in the block of the read before.
  if (recent_ != nullptr && recent_->start == start && start + recent_->length >= needed_end) {
    return recent_;
  }
  Block* victim = &blocks_[0];
  for (Block& b : blocks_) {
    if (b.length > 0 && b.start == start) {
      if (start + b.length >= needed_end) {
        b.last_use = ++clock_;
        recent_ = &b;
        return &b;
      }
      victim = &b;  // the same block, shorter than now needed: read it again
      break;
    }
    if (b.last_use < victim->last_use) victim = &b;
  }
  const std::uint32_t length = std::min(kBlockSize, limit - start);
  if (victim->bytes.empty()) victim->bytes.resize(kBlockSize);
  victim->length = 0;
  recent_ = nullptr;
  if (!files_.SeekTo(file_, start) || !files_.ReadBytes(file_, victim->bytes.data(), length)) {
    return nullptr;
  }
  victim->start = start;
  victim->length = length;
  victim->last_use = ++clock_;
  recent_ = victim;
  return victim;
}

}  // namespace ztx
