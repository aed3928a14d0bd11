#include "maker/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace ztx {
namespace {

// Raw inflate with zlib, as the applier does; "" when the stream is not one
// complete stream with nothing behind it.
std::string Inflate(const std::vector<std::uint8_t>& stream) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return "";
  std::string out(64 << 20, '\0');
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int ret = inflate(&z, Z_FINISH);
  const bool whole = ret == Z_STREAM_END && z.avail_in == 0;
  out.resize(z.total_out);
  inflateEnd(&z);
  return whole ? out : "";
}

std::string Sample(const std::string& kind, size_t size) {
  std::mt19937 rng(7);
  std::string s(size, '\0');
  if (kind == "random") {
    for (char& c : s) c = static_cast<char>(rng());
  } else if (kind == "text") {
    const char* words[] = {"patch ", "file ", "version ", "delta ", "\n", "stream ", "0x7FFF "};
    s.clear();
    while (s.size() < size) s += words[rng() % 7];
    s.resize(size);
  } else if (kind == "sparse") {
    for (size_t i = 0; i < size; i += 1 + rng() % 4000) s[i] = static_cast<char>(rng());
  }
  return s;
}

// Every kind of block (stored for random bytes, dynamic Huffman for text, long
// runs for sparse data) ends a part at every kind of bit position; the joined
// stream must inflate to the data with nothing left over.
TEST(ParallelDeflateTest, JoinedPartsInflateToTheData) {
  for (const std::string kind : {"random", "text", "sparse"}) {
    for (size_t size : {size_t{0}, size_t{5}, size_t{100000}, size_t{3} << 20}) {
      const std::string data = Sample(kind, size);
      for (unsigned parts : {1u, 2u, 3u, 4u}) {
        const std::vector<std::uint8_t> stream = DeflateInParts(data, 6, parts);
        EXPECT_EQ(Inflate(stream), data) << kind << " " << size << " bytes in " << parts << " parts";
      }
    }
  }
}

TEST(ParallelDeflateTest, JoiningCostsLittle) {
  const std::string data = Sample("text", 4 << 20);
  const size_t whole = DeflateInParts(data, 9, 1).size();
  EXPECT_LE(DeflateInParts(data, 9, 4).size(), whole + whole / 100);
}

TEST(ParallelDeflateTest, FindsTheLastBlock) {
  // Fixed-Huffman single block "a": header bits 1 (final), 01 (fixed).
  const DeflateBits one = FindLastBlock({0x4B, 0x04, 0x00});
  EXPECT_EQ(one.last_block, 0u);
  EXPECT_EQ(one.end, 3u + 8 + 7);
  // A stored empty block that is not final, then the same block: the last
  // block starts after the stored one's 4 length bytes.
  const DeflateBits two = FindLastBlock({0x00, 0x00, 0x00, 0xFF, 0xFF, 0x4B, 0x04, 0x00});
  EXPECT_EQ(two.last_block, 40u);
  EXPECT_EQ(two.end, 40u + 18);
}

}  // namespace
}  // namespace ztx
