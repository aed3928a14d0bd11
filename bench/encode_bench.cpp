// Encodes one old/new pair with the delta encoder and prints the time, the
// chosen parameters and each stream's size, raw and compressed, so that the
// encoder's choices can be judged on real files. Usage: encode_bench OLD NEW
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "maker/delta_encoder.h"
#include "maker/parallel_deflate.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: encode_bench OLD NEW\n");
    return 1;
  }
  const std::string from = ReadAll(argv[1]), to = ReadAll(argv[2]);
  const auto start = std::chrono::steady_clock::now();
  const ztx::VersionSpec v = ztx::EncodeDelta(from, to);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::string all;
  for (const std::string& s : v.streams) all += s;
  std::printf("old %zu new %zu: %.2f s; block %u, period %u, flags %u; compressed %zu\n", from.size(), to.size(),
              took.count(), v.insert_block_size, v.tail_length_period, v.delta_flags,
              ztx::DeflateRawStrongest(all).size());
  const char* names[] = {"numbers", "flags A", "flags B", "inserts", "tails"};
  for (int i = 0; i < 5; ++i) {
    std::printf("  %-8s %10zu raw %10zu compressed\n", names[i], v.streams[i].size(),
                ztx::DeflateRawStrongest(v.streams[i]).size());
  }
  return 0;
}
