// Reads of one file through aligned blocks kept in memory. The decoder reads
// the source (and the output written so far) at addresses that jump between
// many places: a copy here, the tail or insert chunk added to the bytes behind
// it, the next copy somewhere else, often back to a place it read before.
// Keeping recent blocks turns most of these reads into a memcpy, with memory
// bounded by the cache size whatever the file size. The cache is direct
// mapped: a block has one slot, so a lookup costs no search.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/file_layer.h"

namespace ztx {

class BlockCache {
 public:
  // `block_size` a power of two. A file of at most `file_size` bytes needs no
  // more blocks than it has, so a small file costs a small cache.
  BlockCache(FileLayer& files, FileHandle file, std::uint32_t block_size, std::uint32_t block_count,
             std::uint64_t file_size);

  // Copies [at, at + n) of the file into `out`. `limit` is how many bytes of
  // the file may be read (the caller has checked that the run lies below it);
  // a block read before the limit grew is read again where it falls short.
  // Moves the file position. False when reading the file fails.
  bool Read(std::uint32_t at, std::uint32_t n, std::uint32_t limit, std::uint8_t* out);

 private:
  struct Slot {
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // 0: empty
  };

  FileLayer& files_;
  FileHandle file_;
  const std::uint32_t block_size_;
  std::vector<Slot> slots_;
  std::unique_ptr<std::uint8_t[]> bytes_;  // a block per slot, allocated on first use
};

}  // namespace ztx
