// Reads of one file through a few aligned blocks kept in memory. The decoder
// reads the source (and the output written so far) at addresses that jump
// between a handful of places: a copy here, the tail or insert chunk added to
// the bytes behind it, the next copy somewhere else. Keeping the last blocks
// turns most of these reads into a memcpy, with memory bounded by the block
// count whatever the file size.
#pragma once

#include <cstdint>
#include <vector>

#include "core/file_layer.h"

namespace ztx {

class BlockCache {
 public:
  static constexpr std::uint32_t kBlockSize = 64 * 1024;

  BlockCache(FileLayer& files, FileHandle file, int block_count);

  // Copies [at, at + n) of the file into `out`. `limit` is how many bytes of
  // the file may be read (the caller has checked that the run lies below it);
  // a block read before the limit grew is read again where it falls short.
  // Moves the file position. False when reading the file fails.
  bool Read(std::uint32_t at, std::uint32_t n, std::uint32_t limit, std::uint8_t* out);

 private:
  struct Block {
    std::uint32_t start = 0;
    std::uint32_t length = 0;  // 0: empty
    std::uint64_t last_use = 0;
    std::vector<std::uint8_t> bytes;
  };
  const Block* Fetch(std::uint32_t start, std::uint32_t needed_end, std::uint32_t limit);

  FileLayer& files_;
  FileHandle file_;
  std::vector<Block> blocks_;
  Block* recent_ = nullptr;  // the block of the latest read
  std::uint64_t clock_ = 0;
};

}  // namespace ztx
