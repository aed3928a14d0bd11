#include "engine/delta_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "core/crc32.h"
#include "maker/delta_writer.h"
#include "tests/support/delta_runner.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

using Streams = std::array<std::string, kStreamCount>;

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 3) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

class CountingUi : public UiHooks {
 public:
  void PumpMessages() override { ++pumps; }
  int pumps = 0;
};

struct Decoded {
  DeltaResult result;
  std::string output;
  std::array<std::uint32_t, kStreamCount> left{};  // stream bytes not consumed
};

class DeltaTest : public ::testing::Test {
 protected:
  Decoded Decode(const std::string& source, const Streams& streams, const SourceVersion& v,
                 std::uint32_t output_size) {
    dir_.Write("source", source);
    std::filesystem::remove(dir_.path() / "output");
    ScopedFile in(files_, files_.OpenForRead(dir_ / "source"));
    ScopedFile out(files_, files_.CreateNewFile(dir_ / "output"));
    const testing::StreamRun run = testing::RunDelta(files_, in.get(), out.get(), streams, v, output_size, ui_);
    in.Reset();
    out.Reset();
    return Decoded{run.result, dir_.Read("output"), run.left};
  }
  static SourceVersion Version(std::uint32_t source_size, const DeltaParameters& p) {
    SourceVersion v;
    v.size = source_size;
    v.tail_length_period = p.tail_length_period;
    v.delta_flags = p.delta_flags;
    v.insert_block_size = p.insert_block_size;
    return v;
  }
  Decoded Run(const std::string& source, const DeltaParameters& p,
              const std::vector<DeltaCommand>& commands) {
    return Decode(source, WriteDeltaStreams(p, commands), Version(p.source_size, p), p.output_size);
  }

  std::unique_ptr<Os> os_ = MakeNativeOs();
  FileLayer files_{*os_};
  testing::TempFolder dir_;
  CountingUi ui_;
};

const std::string kSource = "ABCDEFGH";

DeltaParameters Example(std::uint32_t output_size) {
  return DeltaParameters{8, output_size, 1, 0, 16};
}

TEST_F(DeltaTest, WorkedExampleOne) {
  const Streams streams = {Hex("04 00 00 01 04 00 00"), Hex("01"), Hex("04"), Hex("7A"), ""};
  const Decoded d = Decode(kSource, streams, Version(8, Example(9)), 9);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "ABCDzEFGH");
  EXPECT_EQ(d.result.output_length, 9u);
  EXPECT_EQ(d.result.output_crc, Crc32Update(kCrcInitial, "ABCDzEFGH", 9));
  EXPECT_EQ(ui_.pumps, 3) << "one pump per command";
  // The writer makes the same streams from the commands.
  EXPECT_EQ(WriteDeltaStreams(Example(9), {DeltaCommand::Copy(4, 0), DeltaCommand::Insert("z", {true}),
                                           DeltaCommand::Copy(4, 0)}),
            streams);
}

TEST_F(DeltaTest, WorkedExampleTwo) {
  const Streams streams = {Hex("07 00 01"), "", Hex("00"), "", Hex("01")};
  const Decoded d = Decode(kSource, streams, Version(8, Example(8)), 8);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "ABCDEFGI");
  EXPECT_EQ(WriteDeltaStreams(Example(8), {DeltaCommand::Copy(7, 0, "\x01")}), streams);
}

TEST_F(DeltaTest, EmptyNumberStreamReadsNothing) {
  const Streams streams = {"", "A", "B", "I", "T"};
  const Decoded d = Decode(kSource, streams, Version(8, Example(0)), 0);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.result.output_crc, 0xFFFFFFFFu);
  EXPECT_EQ(d.result.output_length, 0u);
  EXPECT_EQ(d.left, (std::array<std::uint32_t, 5>{0, 1, 1, 1, 1}));
}

TEST_F(DeltaTest, NegativeZeroIsAFiller) {
  // Copy 8 (tail length 0, period 1), then a zero with its sign bit set, then a
  // copy 2 from the output's start. Were "-0" anything but a filler, the second
  // copy would read a tail-length byte and the streams would not add up.
  const Streams streams = {Hex("08 00 00 00 02 00"), "", Hex("04"), "", ""};
  const Decoded d = Decode(kSource, streams, Version(8, DeltaParameters{8, 10, 1, 0, 16}), 10);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "ABCDEFGHAB");
  EXPECT_EQ(d.left, (std::array<std::uint32_t, 5>{}));
}

TEST_F(DeltaTest, InsertChunkSizes) {
  using V = std::vector<std::uint32_t>;
  EXPECT_EQ(InsertChunks(10, 16), V{10});
  EXPECT_EQ(InsertChunks(16, 16), V{16});
  EXPECT_EQ(InsertChunks(31, 16), V{31});
  EXPECT_EQ(InsertChunks(32, 16), (V{16, 16}));
  EXPECT_EQ(InsertChunks(40, 16), (V{16, 24}));
  EXPECT_EQ(InsertChunks(100, 16), (V{16, 16, 16, 16, 16, 20}));
  EXPECT_EQ(InsertChunks(3, 1), (V{1, 1, 1}));
}

TEST_F(DeltaTest, InsertChunksAddToTheSourceByChunkMode) {
  // Six chunks of an insert of 100 with block 16: modes plain, added, plain...
  std::string source(200, '\0');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i);
  std::string stored(100, '\x01');
  const std::vector<bool> modes = {true, false, true, false, true, false};
  DeltaParameters p{200, 130, 1, 0, 16};
  const Decoded d = Run(source, p, {DeltaCommand::Copy(30, 10), DeltaCommand::Insert(stored, modes)});
  ASSERT_EQ(d.result.result, msg::kOk);
  // The base of the insert is LastAddress + LastLength + TailLength = 40.
  std::string expected = source.substr(10, 30);
  const std::uint32_t starts[] = {0, 16, 32, 48, 64, 80}, sizes[] = {16, 16, 16, 16, 16, 20};
  for (int c = 0; c < 6; ++c) {
    for (std::uint32_t i = 0; i < sizes[c]; ++i) {
      expected += modes[c] ? '\x01' : static_cast<char>(1 + 40 + starts[c] + i);
    }
  }
  EXPECT_EQ(d.output, expected);

  p.insert_block_size = 1;
  p.output_size = 3;
  const Decoded ones = Run(source, p, {DeltaCommand::Insert("\x05\x05\x05", {false, true, false})});
  EXPECT_EQ(ones.output, std::string("\x05\x05\x07", 3)) << "base 0: adds 0, plain, adds 2";
}

// Numbers of every width allowed by each NumberBound class, both signs: copies of
// one byte whose relative addresses need 1, 2, 3 and 4 bytes.
TEST_F(DeltaTest, NumberWidthsAtEachBound) {
  struct Class {
    std::uint32_t source_size;
    int widest;
  };
  const std::int32_t distance[] = {100, 300, 70000, 17000000};  // 1, 2, 3, 4 bytes
  for (const Class c : {Class{200, 1}, Class{60000, 2}, Class{16000000, 3}, Class{20000000, 4}}) {
    std::string source(c.source_size, '\0');
    for (std::uint32_t i = 0; i < c.source_size; ++i) source[i] = static_cast<char>(i % 251);
    std::vector<DeltaCommand> commands;
    std::string expected;
    std::int64_t next = 0;  // LastAddress + LastLength
    size_t number_bytes = 1;  // the one tail-length byte (period 0)
    for (int w = 1; w <= c.widest; ++w) {
      for (std::int32_t d : {distance[w - 1], -distance[w - 1]}) {
        commands.push_back(DeltaCommand::Copy(1, d));
        expected += source[next + d];
        next += d + 1;
        number_bytes += 1 + w;
      }
    }
    DeltaParameters p{c.source_size, static_cast<std::uint32_t>(expected.size()), 0, 0, 16};
    const Streams streams = WriteDeltaStreams(p, commands);
    EXPECT_EQ(streams[kNumberStream].size(), number_bytes) << c.source_size;
    const Decoded d = Decode(source, streams, Version(c.source_size, p), p.output_size);
    EXPECT_EQ(d.result.result, msg::kOk) << c.source_size;
    EXPECT_EQ(d.output, expected) << c.source_size;
    // With NumberBound <= 255 no extension flag exists: stream B holds only signs.
    if (c.widest == 1) {
      EXPECT_EQ(streams[kFlagStreamA], "");
      EXPECT_EQ(streams[kFlagStreamB].size(), 1u);
    }
  }
  // A number wider than the bound allows cannot be written.
  EXPECT_THROW(WriteDeltaStreams(DeltaParameters{200, 1, 0, 0, 16}, {DeltaCommand::Copy(1, 300)}),
               std::invalid_argument);
}

TEST_F(DeltaTest, CopiesAndTailsReadTheOutputWrittenSoFar) {
  // Copy "ABCD", then copy 6 from output address 8 (its own start) with
  // overlap: ABCDAB..., then a tail added to output bytes.
  DeltaParameters p{8, 12, 0, 0, 16};
  const Decoded d = Run(kSource, p, {DeltaCommand::Copy(4, 0, "\x01\x01"),
                                     DeltaCommand::Copy(4, 4, "\x01\x01")});
  // First copy: ABCD + tail over source E F (+1) = FG. Output "ABCDFG".
  // Second: LastAddress 0 + 4 + 4 = 8: output[0..4) "ABCD", then tail added to
  // output[4..6) "FG" (+1) = "GH".
  ASSERT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "ABCDFGABCDGH");

  const Decoded run = Run("x", DeltaParameters{1, 50, 0, 0, 16}, {DeltaCommand::Copy(50, 0)});
  EXPECT_EQ(run.result.result, msg::kOk);
  EXPECT_EQ(run.output, std::string(50, 'x')) << "a copy may read what it writes itself";
}

TEST_F(DeltaTest, NegativeRelativeAddressMovesBack) {
  DeltaParameters p{8, 6, 0, 0, 16};
  const Decoded d = Run(kSource, p, {DeltaCommand::Copy(3, 5), DeltaCommand::Copy(3, -6)});
  EXPECT_EQ(d.output, "FGHCDE");
}

TEST_F(DeltaTest, FillerAtPeriodZeroFreezesTheTailLength) {
  DeltaParameters p{8, 9, 1, delta_flags::kPlainTails, 16};
  const std::vector<DeltaCommand> commands = {
      DeltaCommand::Copy(1, 0, "xy"), DeltaCommand::Filler(), DeltaCommand::Filler(),
      DeltaCommand::Copy(1, 0, "zw"), DeltaCommand::Copy(1, 0, "uv")};
  const Streams streams = WriteDeltaStreams(p, commands);
  // n, d, tail length for the first copy; then fillers; later copies read no
  // tail-length byte (PeriodLeft is below 0).
  EXPECT_EQ(streams[kNumberStream], Hex("01 00 02 00 00 01 00 01 00"));
  const Decoded d = Decode(kSource, streams, Version(8, p), 9);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "AxyBzwCuv");
}

TEST_F(DeltaTest, DeltaFlags) {
  // Value 1: the bound counts the output too (200 + 200), so numbers may take
  // two bytes; at max(200, 200) they take one, and 300 cannot be written.
  std::string source(200, 'a');
  DeltaParameters wide{200, 200, 0, delta_flags::kBoundCountsOutput, 16};
  DeltaParameters narrow{200, 200, 0, 0, 16};
  std::vector<DeltaCommand> commands = {DeltaCommand::Copy(100, 0), DeltaCommand::Copy(100, 0)};
  EXPECT_EQ(Run(source, wide, commands).output, std::string(200, 'a'));
  EXPECT_EQ(WriteDeltaStreams(wide, commands)[kFlagStreamB].size(), 1u) << "2 flag + sign bits per number";
  EXPECT_THROW(WriteDeltaStreams(narrow, {DeltaCommand::Copy(1, 300)}), std::invalid_argument);
  // Value 2: plain tails; without it the tail adds to the source.
  DeltaParameters plain{8, 3, 0, delta_flags::kPlainTails, 16};
  DeltaParameters added{8, 3, 0, 0, 16};
  EXPECT_EQ(Run(kSource, plain, {DeltaCommand::Copy(1, 0, "\x01\x01")}).output, std::string("A\x01\x01"));
  EXPECT_EQ(Run(kSource, added, {DeltaCommand::Copy(1, 0, "\x01\x01")}).output, "ACD");
}

struct DamageCase {
  const char* name;
  Streams streams;
  SourceVersion version;
  std::uint32_t output_size;
  MessageId expected;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

SourceVersion V(std::uint32_t size, std::uint8_t block = 16, std::uint8_t flags = 0) {
  SourceVersion v;
  v.size = size;
  v.tail_length_period = 1;
  v.insert_block_size = block;
  v.delta_flags = flags;
  return v;
}

class DeltaDamageTest : public DeltaTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DeltaDamageTest, EndsWithItsMessage) {
  const DamageCase& c = GetParam();
  const Decoded d = Decode(kSource, c.streams, c.version, c.output_size);
  EXPECT_EQ(d.result.result, c.expected);
  EXPECT_LE(d.output.size(), c.output_size) << "never more than the size it was given";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeltaDamageTest,
    ::testing::Values(
        DamageCase{"insert_block_size_0", {Hex("01 00"), "", "", "z", ""}, V(8, 0), 9, msg::kPatchDamaged},
        DamageCase{"negative_address", {Hex("01 01 00"), "", Hex("02"), "", ""}, V(8), 9, msg::kPatchDamaged},
        DamageCase{"tail_past_output_written", {Hex("01 07 02"), "", Hex("00"), "", "xx"}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"past_output_written", {Hex("01 09 00"), "", Hex("00"), "", ""}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"number_stream_cut_in_number", {Hex("04"), "", Hex("00"), "", ""}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"flag_stream_empty", {Hex("04 00 00"), "", "", "", ""}, V(8), 9, msg::kPatchDamaged},
        DamageCase{"tail_length_byte_missing", {Hex("04 00"), "", Hex("00"), "", ""}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"tail_stream_short", {Hex("04 00 02"), "", Hex("00"), "", "x"}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"insert_stream_short", {Hex("03"), Hex("01"), Hex("01"), "zz", ""}, V(8), 9,
                   msg::kPatchDamaged},
        DamageCase{"output_beyond_its_size", {Hex("08 00 00"), "", Hex("00"), "", ""}, V(8), 7,
                   msg::kCrcMismatch},
        DamageCase{"huge_copy", {Hex("FF FF FF 7F 00 00 00"), Hex("FF"), Hex("01"), "", ""},
                   V(8, 16, delta_flags::kBoundCountsOutput), 0x7FFFFFF0, msg::kCrcMismatch},
        DamageCase{"source_size_over_2_gib", {Hex("01 00 00"), "", Hex("00"), "", ""}, V(0x80000000u), 9,
                   msg::kPatchDamaged},
        DamageCase{"source_shorter_than_its_size", {Hex("04 08 00"), "", Hex("00 00"), "", ""}, V(100), 9,
                   msg::kPatchDamaged}),
    [](const auto& info) { return std::string(info.param.name); });

// A source shorter than its SourceSize (a chain step whose output came out
// short) is damaged only where a run needs a byte it lacks: runs over the bytes
// it has decode, wherever they lie, as the reference decoder has it.
TEST_F(DeltaTest, ShortSourceServesTheBytesItHas) {
  const Streams copy_first_four = {Hex("04 00 00"), "", Hex("00 00"), "", ""};
  const Decoded d = Decode(kSource, copy_first_four, V(100), 4);
  EXPECT_EQ(d.result.result, msg::kOk);
  EXPECT_EQ(d.output, "ABCD");
  const Streams copy_past_its_end = {Hex("04 06 00"), "", Hex("00 00"), "", ""};
  EXPECT_EQ(Decode(kSource, copy_past_its_end, V(100), 4).result.result, msg::kPatchDamaged);
}

// The round trip: random commands, valid for the state they meet, through the
// writer and the decoder reproduce what an in-memory model of the commands makes.
// Every sixth round is large: copies of up to 150 KB from a source of up to
// 1.5 MB make an output of megabytes, so reads of the old file and of the
// output's own past go through many blocks of the decoder's caches, evict them,
// and meet blocks that were read while the output was shorter.
TEST_F(DeltaTest, RandomCommandsRoundTrip) {
  std::mt19937 rng(20261211);
  auto pick = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  for (int round = 0; round < 60; ++round) {
    const bool large = round % 6 == 5;
    DeltaParameters p;
    p.source_size = static_cast<std::uint32_t>(large ? pick(200000, 1500000) : pick(1000, 4000));
    p.tail_length_period = static_cast<std::uint16_t>(pick(0, 4));
    p.delta_flags = static_cast<std::uint8_t>(pick(0, 3));
    p.insert_block_size = static_cast<std::uint8_t>(pick(1, 40));
    std::string source(p.source_size, '\0');
    for (char& c : source) c = static_cast<char>(pick(0, 255));

    std::string out;  // the model's output
    auto at = [&](std::int64_t a) -> std::uint8_t {
      return a < p.source_size ? source[a] : out[a - p.source_size];
    };
    std::int64_t last_address = 0, last_length = 0, period_left = 0;
    size_t tail_length = 0;
    std::vector<DeltaCommand> commands;
    for (int i = 0; i < 80; ++i) {
      const std::int64_t space = p.source_size + out.size();
      const int what = static_cast<int>(pick(0, 9));
      if (what == 0) {
        commands.push_back(DeltaCommand::Filler());
        --period_left;
      } else if (what <= 6) {
        const std::int64_t n = pick(1, large && pick(0, 1) == 1 ? 150000 : 300);
        const std::int64_t a = pick(0, space - 1);
        const size_t tl = period_left == 0 ? static_cast<size_t>(pick(0, 6)) : tail_length;
        // A tail added to bytes behind the run needs those bytes to exist.
        const bool tails_added = !(p.delta_flags & delta_flags::kPlainTails);
        if (tails_added && a + n + static_cast<std::int64_t>(tl) > space + n) continue;
        std::string tail;
        for (std::int64_t k = 0; k < n; ++k) out += static_cast<char>(at(a + k));
        for (size_t k = 0; k < tl; ++k) {
          const auto stored = static_cast<std::uint8_t>(pick(0, 255));
          tail += static_cast<char>(stored);
          out += static_cast<char>(tails_added ? stored + at(a + n + k) : stored);
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
      } else {
        const auto m = static_cast<std::uint32_t>(pick(1, 120));
        const std::int64_t base = last_address + last_length + tail_length;
        std::string stored, produced;
        std::vector<bool> modes;
        std::uint32_t offset = 0;
        for (std::uint32_t size : InsertChunks(m, p.insert_block_size)) {
          bool plain = pick(0, 1) == 1 || base + offset + size > space;
          modes.push_back(plain);
          for (std::uint32_t k = 0; k < size; ++k) {
            const auto b = static_cast<std::uint8_t>(pick(0, 255));
            stored += static_cast<char>(b);
            produced += static_cast<char>(plain ? b : b + at(base + offset + k));
          }
          offset += size;
        }
        out += produced;
        commands.push_back(DeltaCommand::Insert(stored, modes));
      }
    }
    p.output_size = static_cast<std::uint32_t>(out.size());
    const Decoded d = Run(source, p, commands);
    ASSERT_EQ(d.result.result, msg::kOk) << "round " << round;
    ASSERT_EQ(d.output, out) << "round " << round;
    EXPECT_EQ(d.result.output_crc, Crc32Update(kCrcInitial, out.data(), static_cast<std::uint32_t>(out.size())));
    EXPECT_EQ(d.left, (std::array<std::uint32_t, 5>{})) << "every stream used up, round " << round;
  }
}

}  // namespace
}  // namespace ztx
