#include "maker/delta_writer.h"

#include <algorithm>
#include <stdexcept>

#include "engine/delta_decoder.h"

namespace ztx {
namespace {

// Bits packed least significant first, as the decoder takes them.
class BitWriter {
 public:
  void Put(bool bit) {
    if (count_ % 8 == 0) bytes_ += '\0';
    if (bit) bytes_.back() = static_cast<char>(bytes_.back() | (1 << (count_ % 8)));
    ++count_;
  }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
  std::uint64_t count_ = 0;
};

class StreamsWriter {
 public:
  explicit StreamsWriter(std::int64_t bound) : bound_(bound) {}

  void Number(std::int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) throw std::invalid_argument("number beyond 32 bits");
    const std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    const int allowed = bound_ > 16777215 ? 4 : bound_ > 65535 ? 3 : bound_ > 255 ? 2 : 1;
    const int needed = magnitude > 0xFFFFFF ? 4 : magnitude > 0xFFFF ? 3 : magnitude > 0xFF ? 2 : 1;
    if (needed > allowed) throw std::invalid_argument("number too wide for NumberBound");
    numbers_ += static_cast<char>(magnitude & 0xFF);
    if (allowed >= 2) {
      flags_b_.Put(needed >= 2);
      if (needed >= 2) {
        numbers_ += static_cast<char>((magnitude >> 8) & 0xFF);
        if (allowed >= 3) {
          flags_a_.Put(needed >= 3);
          if (needed >= 3) {
            numbers_ += static_cast<char>((magnitude >> 16) & 0xFF);
            if (allowed >= 4) {
              flags_a_.Put(needed >= 4);
              if (needed >= 4) numbers_ += static_cast<char>(magnitude >> 24);
            }
          }
        }
      }
    }
    flags_b_.Put(value < 0);
  }

  void NumberByte(std::uint8_t b) { numbers_ += static_cast<char>(b); }
  void ModeBit(bool plain) { flags_a_.Put(plain); }
  void Insert(const std::string& bytes) { inserts_ += bytes; }
  void Tail(const std::string& bytes) { tails_ += bytes; }

  std::array<std::string, kStreamCount> Take() {
    return {std::move(numbers_), flags_a_.Take(), flags_b_.Take(), std::move(inserts_),
            std::move(tails_)};
  }

 private:
  std::int64_t bound_;
  std::string numbers_, inserts_, tails_;
  BitWriter flags_a_, flags_b_;
};

}  // namespace

std::int64_t NumberBound(const DeltaParameters& p) {
  return p.delta_flags & delta_flags::kBoundCountsOutput
             ? std::int64_t{p.source_size} + p.output_size
             : std::max<std::int64_t>(p.source_size, p.output_size);
}

std::vector<std::uint32_t> InsertChunks(std::uint32_t m, std::uint32_t block_size) {
  std::vector<std::uint32_t> chunks;
  for (std::uint32_t offset = 0; offset < m || chunks.empty();) {
    const std::uint32_t rest = m - offset;
    if (rest >= block_size && rest < 2 * block_size) {
      chunks.push_back(rest);
      break;
    }
    chunks.push_back(std::min(block_size, rest));
    offset += block_size;
  }
  return chunks;
}

std::array<std::string, kStreamCount> WriteDeltaStreams(const DeltaParameters& p,
                                                        const std::vector<DeltaCommand>& commands) {
  if (p.insert_block_size == 0) throw std::invalid_argument("InsertBlockSize 0");
  StreamsWriter out(NumberBound(p));
  std::int64_t period_left = 0;
  size_t tail_length = 0;
  for (const DeltaCommand& c : commands) {
    switch (c.kind) {
      case DeltaCommand::Kind::kFiller:
        out.Number(0);
        --period_left;
        break;
      case DeltaCommand::Kind::kCopy: {
        if (c.length <= 0) throw std::invalid_argument("a copy has a positive length");
        if (c.tail.size() > 255) throw std::invalid_argument("a tail has at most 255 bytes");
        out.Number(c.length);
        out.Number(c.relative_address);
        if (period_left == 0) {
          tail_length = c.tail.size();
          out.NumberByte(static_cast<std::uint8_t>(tail_length));
          period_left = p.tail_length_period;
        } else if (c.tail.size() != tail_length) {
          throw std::invalid_argument("tail length differs within its period");
        }
        --period_left;
        out.Tail(c.tail);
        break;
      }
      case DeltaCommand::Kind::kInsert: {
        if (c.insert.empty()) throw std::invalid_argument("an insert has at least one byte");
        const std::vector<std::uint32_t> chunks =
            InsertChunks(static_cast<std::uint32_t>(c.insert.size()), p.insert_block_size);
        if (chunks.size() != c.chunk_plain.size()) {
          throw std::invalid_argument("one mode bit per insert chunk");
        }
        out.Number(-static_cast<std::int64_t>(c.insert.size()));
        out.Insert(c.insert);
        for (bool plain : c.chunk_plain) out.ModeBit(plain);
        break;
      }
    }
  }
  return out.Take();
}

}  // namespace ztx
