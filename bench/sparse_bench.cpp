// Patches for files of any size up to the format's limit without a patch
// maker's memory: the old file is sparse (zeros with a 4 KiB pattern in its
// middle), the new one has another pattern there, and the delta is written by
// hand: copy the first half, insert the new 4 KiB, copy the rest.
//
//   sparse_bench prepare BYTES DIR   writes DIR/old/big.bin, DIR/new/big.bin
//                                    (both sparse) and DIR/patch.ztx
//
// bench/sparse_bench.sh applies the patch with `ztx apply` at several sizes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "maker/container_writer.h"
#include "maker/delta_writer.h"
#include "maker/script_writer.h"

namespace {

using namespace ztx;

constexpr std::uint32_t kPatternSize = 4096;

std::string Pattern(char seed) {
  std::string p(kPatternSize, '\0');
  for (std::uint32_t i = 0; i < kPatternSize; ++i) p[i] = static_cast<char>(seed + i * 7);
  return p;
}

// A sparse file of `size` bytes with `pattern` at `at`; returns its CRC.
std::uint32_t WriteSparse(const std::string& path, std::uint32_t size, std::uint32_t at, const std::string& pattern) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ftruncate(fd, size) != 0 ||
      pwrite(fd, pattern.data(), pattern.size(), at) != static_cast<ssize_t>(pattern.size())) {
    std::perror(path.c_str());
    std::exit(1);
  }
  // The CRC of the zeros around the pattern, piece by piece.
  const std::vector<char> zeros(1 << 20, 0);
  std::uint32_t crc = kCrcInitial;
  for (std::uint32_t done = 0; done < at;) {
    const std::uint32_t n = std::min<std::uint32_t>(zeros.size(), at - done);
    crc = Crc32Update(crc, zeros.data(), n);
    done += n;
  }
  crc = Crc32Update(crc, pattern.data(), kPatternSize);
  for (std::uint32_t done = at + kPatternSize; done < size;) {
    const std::uint32_t n = std::min<std::uint32_t>(zeros.size(), size - done);
    crc = Crc32Update(crc, zeros.data(), n);
    done += n;
  }
  close(fd);
  return crc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "prepare") {
    std::fprintf(stderr, "usage: sparse_bench prepare BYTES DIR\n");
    return 2;
  }
  const auto size = static_cast<std::uint32_t>(std::stoul(argv[2]));
  const std::string dir = argv[3];
  if (size < 2 * kPatternSize || size > 0x7FFFFFFFu) {
    std::fprintf(stderr, "BYTES must lie between 8 KiB and 2^31-1\n");
    return 2;
  }
  const std::uint32_t middle = size / 2;
  const std::string old_pattern = Pattern(1), new_pattern = Pattern(2);
  const std::uint32_t old_crc = WriteSparse(dir + "/old/big.bin", size, middle, old_pattern);
  const std::uint32_t new_crc = WriteSparse(dir + "/new/big.bin", size, middle, new_pattern);

  DeltaParameters p{size, size, 0, 0, 255};
  const std::vector<DeltaCommand> commands = {
      DeltaCommand::Copy(static_cast<std::int32_t>(middle), 0),
      DeltaCommand::Insert(new_pattern, std::vector<bool>(InsertChunks(kPatternSize, 255).size(), true)),
      DeltaCommand::Copy(static_cast<std::int32_t>(size - middle - kPatternSize), kPatternSize),
  };
  VersionSpec v;
  v.crc = old_crc;
  v.size = size;
  v.insert_block_size = 255;
  v.streams = WriteDeltaStreams(p, commands);
  FileRecordSpec f;
  f.file_name = "big.bin";
  f.new_crc = new_crc;
  f.new_size = size;
  f.versions.push_back(v);

  std::vector<LocatedGroup> groups(1, LocatedGroup{LocationSpec{}, GroupWriter("BACKUP")});
  groups[0].group.File(f);
  ContainerContent content;
  content.records = BuildRecords(groups);
  const std::vector<std::uint8_t> data = BuildPatchData(content);
  std::ofstream out(dir + "/patch.ztx", std::ios::binary | std::ios::trunc);
  out.write("MZ", 2);  // a stand-in for the applier in front of the data
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return out ? 0 : 1;
}
