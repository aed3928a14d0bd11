#include "maker/parallel_deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <future>
#include <stdexcept>
#include <thread>

namespace ztx {
namespace {

std::vector<std::uint8_t> Deflate(const char* data, size_t size, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  if (c == nullptr) throw std::runtime_error("libdeflate_alloc_compressor failed");
  std::vector<std::uint8_t> out(libdeflate_deflate_compress_bound(c, size));
  const size_t n = libdeflate_deflate_compress(c, data, size, out.data(), out.size());
  libdeflate_free_compressor(c);
  if (n == 0) throw std::runtime_error("libdeflate_deflate_compress failed");
  out.resize(n);
  return out;
}

// Appends a complete stream that is not the last: its final block becomes an
// ordinary one, and three zero bits (an empty stored block, not final) with
// the stored block's padding and lengths end it on a byte boundary.
void AppendOpen(std::vector<std::uint8_t>& out, std::vector<std::uint8_t> part) {
  const DeflateBits bits = FindLastBlock(part);
  part[bits.last_block / 8] &= static_cast<std::uint8_t>(~(1u << (bits.last_block % 8)));
  const std::uint64_t stored_header_end = bits.end + 3;
  part.resize((stored_header_end + 7) / 8, 0);
  // Bits behind the stream's end are padding; they become the stored header.
  if (bits.end % 8 != 0) part[bits.end / 8] &= static_cast<std::uint8_t>((1u << (bits.end % 8)) - 1);
  for (std::uint64_t i = (bits.end + 7) / 8; i < part.size(); ++i) part[i] = 0;
  out.insert(out.end(), part.begin(), part.end());
  out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
}

}  // namespace

DeflateBits FindLastBlock(const std::vector<std::uint8_t>& stream) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2 failed");
  std::vector<std::uint8_t> sink(64 * 1024);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  DeflateBits bits;
  for (;;) {
    z.next_out = sink.data();
    z.avail_out = static_cast<uInt>(sink.size());
    // Z_BLOCK returns at every block boundary; data_type then holds the unused
    // bits of the last byte read (below 8), 64 when the block just ended was
    // the final one, and 128 for "at a boundary".
    const int ret = inflate(&z, Z_BLOCK);
    if (ret != Z_OK) {
      inflateEnd(&z);
      throw std::runtime_error("deflate stream of a part does not end where it should");
    }
    if (z.data_type & 128) {
      const std::uint64_t at = std::uint64_t{z.total_in} * 8 - (z.data_type & 7);
      if (z.data_type & 64) {
        bits.end = at;
        break;
      }
      bits.last_block = at;
    }
  }
  inflateEnd(&z);
  return bits;
}

std::vector<std::uint8_t> DeflateRawStrongest(const std::string& data) {
  // A part per core, none below 1 MiB: level 12 spends most of a large
  // patch's making time here.
  constexpr size_t kMinPart = 1 << 20;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const auto parts = static_cast<unsigned>(std::min<size_t>(cores, std::max<size_t>(1, data.size() / kMinPart)));
  return DeflateInParts(data, 12, parts);
}

std::vector<std::uint8_t> DeflateInParts(const std::string& data, int level, unsigned parts) {
  if (parts <= 1 || data.size() < parts) return Deflate(data.data(), data.size(), level);
  const size_t part_size = data.size() / parts;
  std::vector<std::future<std::vector<std::uint8_t>>> jobs;
  for (unsigned i = 0; i < parts; ++i) {
    const size_t start = i * part_size;
    const size_t size = i + 1 == parts ? data.size() - start : part_size;
    jobs.push_back(std::async(std::launch::async, Deflate, data.data() + start, size, level));
  }
  std::vector<std::uint8_t> out;
  for (unsigned i = 0; i + 1 < parts; ++i) AppendOpen(out, jobs[i].get());
  const std::vector<std::uint8_t> last = jobs.back().get();
  out.insert(out.end(), last.begin(), last.end());
  return out;
}

}  // namespace ztx
