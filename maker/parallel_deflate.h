// Raw DEFLATE of a large script on every core. The data is cut into parts that
// libdeflate compresses at the same time, each to a complete stream; the parts
// are then joined into one stream: the last block of every part but the last
// loses its final-block bit, and an empty stored block (as a zlib sync flush
// writes one) brings the next part to a byte boundary. The joined stream is
// ordinary DEFLATE for any inflater; each part only loses the 32 KB of history
// it would have seen of the part before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ztx {

// Raw DEFLATE at libdeflate's strongest level (12), a part per core: the patch
// script's compressor.
std::vector<std::uint8_t> DeflateRawStrongest(const std::string& data);

// `parts` streams of libdeflate level `level`, joined; parts of 1 give the
// plain stream.
std::vector<std::uint8_t> DeflateInParts(const std::string& data, int level, unsigned parts);

// Where a complete raw DEFLATE stream's last block starts and where the
// stream ends, in bits from its start (bit 0: the least significant bit of
// byte 0).
struct DeflateBits {
  std::uint64_t last_block = 0;
  std::uint64_t end = 0;
};
DeflateBits FindLastBlock(const std::vector<std::uint8_t>& stream);

}  // namespace ztx
