// Decoder throughput and memory, and the cost of flushing staged files.
//
//   decode_bench prepare MIB DIR [short]
//                                  writes DIR/source, DIR/streams (the five delta
//                                  streams back to back), DIR/params and
//                                  DIR/expected: a realistic command mix (long
//                                  copies, many short copies with tails, inserts
//                                  in both modes, copies from the output);
//                                  "short" makes the long copies 256 B to 4 KiB
//   decode_bench decode DIR        rebuilds DIR/output; prints time, MB/s, peak RSS
//   decode_bench flush N KIB DIR   writes N files of KIB each, without and with a
//                                  flush before closing; prints both times
//
// bench/decode_bench.sh runs them with a plain copy beside for comparison.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "engine/delta_decoder.h"
#include "maker/delta_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ztx;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssKib() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

int Prepare(std::uint32_t mib, const std::string& dir, bool short_copies) {
  const std::uint32_t size = mib << 20;
  std::mt19937_64 rng(mib);
  auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  // A source with structure: repeated records with varying fields, like a
  // program's tables and code.
  std::string source(size, '\0');
  for (std::uint32_t i = 0; i < size; ++i) source[i] = static_cast<char>((i * 7 + (i >> 9)) ^ (i >> 17));
  for (std::uint32_t i = 0; i < size; i += 4096) source[i] = static_cast<char>(rng());

  DeltaParameters p;
  p.source_size = size;
  p.tail_length_period = 4;
  p.delta_flags = 0;
  p.insert_block_size = 32;
  std::string out;
  out.reserve(size + size / 8);
  std::vector<DeltaCommand> commands;
  std::int64_t last_address = 0, last_length = 0, period_left = 0;
  std::size_t tail_length = 0;
  std::int64_t cursor = 0;  // where in the source the new version goes on
  auto at = [&](std::int64_t a) -> std::uint8_t {
    return a < size ? source[a] : out[a - size];
  };
  while (out.size() < size) {
    const int what = static_cast<int>(pick(0, 99));
    if (what < 85) {
      // A copy: mostly the next stretch of the source, sometimes from elsewhere
      // in it, sometimes from the output already written.
      const std::int64_t long_copy = short_copies ? pick(256, 4 << 10) : pick(16 << 10, 512 << 10);
      std::int64_t n = what < 25 ? long_copy : pick(16, 256);
      std::int64_t a = cursor;
      if (what >= 75) a = pick(0, size - 1);
      if (what >= 82 && !out.empty()) a = size + pick(0, static_cast<std::int64_t>(out.size()) - 1);
      const std::int64_t space = size + static_cast<std::int64_t>(out.size());
      n = std::min<std::int64_t>(n, space - a - 8);
      if (n <= 0) continue;
      const std::size_t tl = period_left == 0 ? static_cast<std::size_t>(pick(0, 6)) : tail_length;
      std::string tail;
      for (std::int64_t k = 0; k < n; ++k) out += static_cast<char>(at(a + k));
      for (std::size_t k = 0; k < tl; ++k) {
        const auto d = static_cast<std::uint8_t>(pick(0, 3) == 0 ? pick(1, 255) : 0);
        tail += static_cast<char>(d);
        out += static_cast<char>(d + at(a + n + k));
      }
      if (period_left == 0) {
        tail_length = tl;
        period_left = p.tail_length_period;
      }
      --period_left;
      commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(n),
                                            static_cast<std::int32_t>(a - last_address - last_length), tail));
      last_address = a;
      last_length = n;
      if (a < size) cursor = std::min<std::int64_t>(a + n + static_cast<std::int64_t>(tl), size - 1);
    } else {
      const bool plain = what >= 95;
      const auto m = static_cast<std::uint32_t>(plain ? pick(16, 256) : pick(32, 512));
      const std::int64_t base = last_address + last_length + static_cast<std::int64_t>(tail_length);
      if (!plain && base + m > size + static_cast<std::int64_t>(out.size())) continue;
      std::string stored, made;
      std::vector<bool> modes;
      std::uint32_t offset = 0;
      for (std::uint32_t c : InsertChunks(m, p.insert_block_size)) {
        modes.push_back(plain);
        for (std::uint32_t k = 0; k < c; ++k) {
          const auto b = static_cast<std::uint8_t>(plain ? pick(0, 255) : (pick(0, 4) == 0 ? pick(1, 255) : 0));
          stored += static_cast<char>(b);
          made += static_cast<char>(plain ? b : b + at(base + offset + k));
        }
        offset += c;
      }
      out += made;
      commands.push_back(DeltaCommand::Insert(stored, modes));
    }
  }
  p.output_size = static_cast<std::uint32_t>(out.size());
  const auto streams = WriteDeltaStreams(p, commands);
  std::string all;
  std::string lengths;
  for (const std::string& s : streams) {
    all += s;
    lengths += std::to_string(s.size()) + " ";
  }
  WriteFile(dir + "/source", source);
  WriteFile(dir + "/streams", all);
  WriteFile(dir + "/expected", out);
  WriteFile(dir + "/params", std::to_string(p.source_size) + " " + std::to_string(p.output_size) + " " +
                                 std::to_string(p.tail_length_period) + " " + std::to_string(p.delta_flags) +
                                 " " + std::to_string(p.insert_block_size) + " " + lengths + "\n");
  std::printf("prepared %u MiB: %zu commands, streams %zu bytes\n", mib, commands.size(), all.size());
  return 0;
}

int Decode(const std::string& dir) {
  std::ifstream params(dir + "/params");
  SourceVersion v;
  std::uint32_t output_size = 0, period = 0, flags = 0, block = 0;
  params >> v.size >> output_size >> period >> flags >> block;
  for (std::uint32_t& length : v.stream_lengths) params >> length;
  v.tail_length_period = static_cast<std::uint16_t>(period);
  v.delta_flags = static_cast<std::uint8_t>(flags);
  v.insert_block_size = static_cast<std::uint8_t>(block);

  std::unique_ptr<Os> os = MakeNativeOs();
  FileLayer files(*os);
  std::remove((dir + "/output").c_str());
  const auto start = Clock::now();
  ScopedFile source(files, files.OpenForRead(dir + "/source"));
  ScopedFile script(files, files.OpenForRead(dir + "/streams"));
  ScopedFile output(files, files.CreateNewFile(dir + "/output"));
  std::vector<FileRangeReader> readers;
  readers.reserve(kStreamCount);
  DeltaFiles io{source.get(), output.get(), {}};
  std::uint32_t offset = 0;
  for (int i = 0; i < kStreamCount; ++i) {
    readers.emplace_back(files, script.get(), offset, v.stream_lengths[i]);
    io.streams[i] = &readers.back();
    offset += v.stream_lengths[i];
  }
  UiHooks no_window;
  const DeltaResult r = ApplyDelta(files, io, v, output_size, no_window);
  output.Reset();
  const double seconds = Seconds(start);
  std::printf("decode: result %d, %u bytes in %.3f s = %.0f MB/s, peak RSS %ld KiB\n", r.result,
              r.output_length, seconds, r.output_length / seconds / 1e6, PeakRssKib());
  return r.result == 0 && r.output_length == output_size ? 0 : 1;
}

int Flush(int count, int kib, const std::string& dir) {
  std::unique_ptr<Os> os = MakeNativeOs();
  FileLayer files(*os);
  const std::string content(static_cast<std::size_t>(kib) << 10, 'x');
  for (bool flush : {false, true}) {
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
      const std::string path = dir + "/f" + std::to_string(i) + (flush ? "b" : "a");
      ScopedFile f(files, files.CreateNewFile(path));
      files.WriteBytes(f.get(), content.data(), static_cast<std::uint32_t>(content.size()));
      if (flush) files.Flush(f.get());
    }
    std::printf("%d files of %d KiB %s flush: %.3f s\n", count, kib, flush ? "with" : "without",
                Seconds(start));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "prepare" && (argc == 4 || argc == 5)) {
    return Prepare(static_cast<std::uint32_t>(std::stoul(argv[2])), argv[3],
                   argc == 5 && std::string(argv[4]) == "short");
  }
  if (what == "decode" && argc == 3) return Decode(argv[2]);
  if (what == "flush" && argc == 5) return Flush(std::stoi(argv[2]), std::stoi(argv[3]), argv[4]);
  std::fprintf(stderr, "usage: decode_bench prepare MIB DIR [short] | decode DIR | flush N KIB DIR\n");
  return 2;
}
