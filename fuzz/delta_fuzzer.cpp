// The delta decoder against the reference decoder of the tests: parameters,
// source and the five streams come from the input. Both must accept the same
// inputs and, where they accept, write the same bytes; the decoder never writes
// more than the size it was given, and its CRC and length describe what it wrote.
//
// Input: u8 mode, u32 output size, u16 TailLengthPeriod, u8 DeltaFlags, u8
// InsertBlockSize, u16 source length and the source bytes, then five times a
// u16 stream length and the stream's bytes. Mode bits 0-1 choose the declared
// SourceSize (0 the source's length, 1 longer, 2 shorter, 3 a value beyond what
// the format allows); bit 7 gives an output size beyond 2^31-1. Output sizes
// are otherwise kept below 256 KiB, so that an overlapping copy of legal length
// cannot turn every run into a long one.
#include <cstdint>

#include "core/crc32.h"
#include "engine/delta_decoder.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"
#include "tests/support/delta_runner.h"
#include "tests/support/reference_decoder.h"

namespace ztx::fuzz {
namespace {

constexpr std::uint32_t kOutputSizeLimit = 256 * 1024;

int Run(const std::uint8_t* data, size_t size) {
  Cursor in(data, size);
  const std::uint8_t mode = in.U8();
  std::uint32_t output_size = in.U32();
  SourceVersion v;
  v.tail_length_period = in.U16();
  v.delta_flags = in.U8();
  v.insert_block_size = in.U8();
  const std::string source = in.Bytes(in.U16());
  std::array<std::string, kStreamCount> streams;
  for (std::string& s : streams) s = in.Bytes(in.U16());
  for (int i = 0; i < kStreamCount; ++i) v.stream_lengths[i] = static_cast<std::uint32_t>(streams[i].size());

  const auto length = static_cast<std::uint32_t>(source.size());
  const std::uint8_t delta = static_cast<std::uint8_t>(output_size >> 24);
  switch (mode & 3) {
    case 0: v.size = length; break;
    case 1: v.size = length + delta; break;
    case 2: v.size = length - std::min<std::uint32_t>(length, delta); break;
    default: {
      static const std::uint32_t kOdd[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
      v.size = kOdd[delta % 3];
    }
  }
  output_size = (mode & 0x80) ? 0x80000000u | output_size : output_size % kOutputSizeLimit;

  PosixOs os;
  FileLayer files(os);
  UiHooks ui;
  const fs::path source_path = ScratchRoot() / "source", output_path = ScratchRoot() / "output";
  WriteFile(source_path, source);
  fs::remove(output_path);
  const FileHandle source_file = files.OpenForRead(source_path.string());
  const FileHandle output_file = files.CreateNewFile(output_path.string());
  FUZZ_CHECK(source_file != kNullHandle && output_file != kNullHandle);
  const testing::StreamRun run =
      testing::RunDelta(files, source_file, output_file, streams, v, output_size, ui);
  files.Close(source_file);
  files.Close(output_file);
  const std::string written = ReadFile(output_path);

  // Never more than it was given, and never more than it says.
  FUZZ_CHECK(run.result.output_length <= output_size);
  FUZZ_CHECK(written.size() <= run.result.output_length);

  testing::ReferenceParameters p{v.size, v.tail_length_period, v.delta_flags, v.insert_block_size};
  const testing::ReferenceResult expected = testing::ReferenceDecoder(p, source, streams, output_size).Run();
  FUZZ_CHECK(expected.output.size() <= output_size);
  FUZZ_CHECK((run.result.result == msg::kOk) == expected.accepted);
  if (expected.accepted) {
    FUZZ_CHECK(written == expected.output);
    FUZZ_CHECK(run.result.output_length == written.size());
    FUZZ_CHECK(run.result.output_crc ==
               Crc32Update(kCrcInitial, written.data(), static_cast<std::uint32_t>(written.size())));
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
