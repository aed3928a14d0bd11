// A second delta decoder, written apart from engine/delta_decoder.cpp to check it:
// plain, byte by byte, everything in memory, no buffers, no windows. It follows
// the format as the decoder's header comment describes it:
//
// - One address space: 0 .. SourceSize-1 are source bytes, SourceSize + i is
//   byte i of the output written so far. A run may pass from the source into the
//   output, and a copy may read bytes it has itself just written (each byte is
//   read only after the one before it is written). A byte below 0 or beyond what
//   exists refuses the delta; so does a source shorter than its SourceSize where
//   a missing byte is needed.
// - Numbers: byte 0, then per NumberBound the second-byte flag (B) and byte 1,
//   third-byte flag (A) and byte 2, fourth-byte flag (A) and byte 3, last the
//   sign bit (B); two's complement of 32 bits. Flags least significant bit first.
// - Commands until the number stream is used up: n > 0 copy (relative address,
//   a tail-length byte when PeriodLeft is exactly 0, the copy, the tail), n < 0
//   insert in chunks with a mode bit each, n = 0 counts PeriodLeft down.
// - The output never grows beyond `output_size`: a delta that would make it is
//   refused. SourceSize or output_size beyond 2^31-1 and InsertBlockSize 0 are
//   refused before anything is read.
//
// Only acceptance and the bytes matter here, not which message a refusal gives.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace ztx::testing {

struct ReferenceParameters {
  std::uint32_t source_size = 0;  // as declared; the source may be shorter
  std::uint16_t tail_length_period = 0;
  std::uint8_t delta_flags = 0;  // 1: NumberBound counts the output too; 2: plain tails
  std::uint8_t insert_block_size = 0;
};

struct ReferenceResult {
  bool accepted = false;
  std::string output;  // what was written, also when refused
};

class ReferenceDecoder {
 public:
  ReferenceDecoder(const ReferenceParameters& p, const std::string& source,
                   const std::array<std::string, 5>& streams, std::uint32_t output_size)
      : p_(p), source_(source), streams_(streams), output_size_(output_size) {}

  ReferenceResult Run() {
    ReferenceResult r;
    r.accepted = Decode();
    r.output = output_;
    return r;
  }

 private:
  bool Decode() {
    if (p_.source_size > 0x7FFFFFFFu || output_size_ > 0x7FFFFFFFu || p_.insert_block_size == 0) {
      return false;
    }
    bound_ = (p_.delta_flags & 1) ? std::int64_t{p_.source_size} + output_size_
                                  : std::max<std::int64_t>(p_.source_size, output_size_);
    while (taken_[0] < streams_[0].size()) {
      std::int64_t n = 0;
      if (!Number(&n)) return false;
      if (n == 0) {
        --period_left_;
      } else if (n > 0) {
        if (!Copy(n)) return false;
      } else if (!Insert(-n)) {
        return false;
      }
    }
    return true;
  }

  bool Byte(int stream, std::uint8_t* b) {
    if (taken_[stream] >= streams_[stream].size()) return false;
    *b = static_cast<std::uint8_t>(streams_[stream][taken_[stream]++]);
    return true;
  }

  bool Bit(int stream, bool* bit) {
    const int which = stream == 1 ? 0 : 1;
    if (bit_position_[which] == 0 && !Byte(stream, &bit_byte_[which])) return false;
    *bit = (bit_byte_[which] >> bit_position_[which]) & 1;
    bit_position_[which] = (bit_position_[which] + 1) % 8;
    return true;
  }

  bool Number(std::int64_t* value) {
    std::uint8_t b = 0;
    if (!Byte(0, &b)) return false;
    std::uint32_t magnitude = b;
    const std::int64_t limits[3] = {255, 65535, 16777215};
    const int flag_streams[3] = {2, 1, 1};
    for (int i = 0; i < 3 && bound_ > limits[i]; ++i) {
      bool more = false;
      if (!Bit(flag_streams[i], &more)) return false;
      if (!more) break;
      if (!Byte(0, &b)) return false;
      magnitude |= std::uint32_t{b} << (8 * (i + 1));
    }
    bool negative = false;
    if (!Bit(2, &negative)) return false;
    std::int64_t v = magnitude;
    if (negative) v = -v;
    // Wrap to 32 bits, two's complement.
    const std::uint32_t bits = static_cast<std::uint32_t>(v & 0xFFFFFFFF);
    *value = bits >= 0x80000000u ? std::int64_t{bits} - 0x100000000LL : std::int64_t{bits};
    return true;
  }

  // The byte at an address of the space, as it stands now.
  bool At(std::int64_t address, std::uint8_t* b) const {
    if (address < 0) return false;
    if (address < p_.source_size) {
      if (address >= static_cast<std::int64_t>(source_.size())) return false;
      *b = static_cast<std::uint8_t>(source_[address]);
      return true;
    }
    const std::int64_t i = address - p_.source_size;
    if (i >= static_cast<std::int64_t>(output_.size())) return false;
    *b = static_cast<std::uint8_t>(output_[i]);
    return true;
  }

  bool Put(std::uint8_t b) {
    if (output_.size() >= output_size_) return false;
    output_ += static_cast<char>(b);
    return true;
  }

  bool Copy(std::int64_t n) {
    std::int64_t d = 0;
    if (!Number(&d)) return false;
    const std::int64_t address = last_address_ + last_length_ + d;
    if (period_left_ == 0) {
      std::uint8_t length = 0;
      if (!Byte(0, &length)) return false;
      tail_length_ = length;
      period_left_ = p_.tail_length_period;
    }
    --period_left_;
    last_address_ = address;
    last_length_ = n;
    for (std::int64_t i = 0; i < n; ++i) {
      std::uint8_t b = 0;
      if (!At(address + i, &b) || !Put(b)) return false;
    }
    std::string tail;
    for (int i = 0; i < tail_length_; ++i) {
      std::uint8_t t = 0, s = 0;
      if (!Byte(4, &t)) return false;
      if (!(p_.delta_flags & 2)) {
        if (!At(address + n + i, &s)) return false;
      }
      tail += static_cast<char>(t + s);
    }
    for (char c : tail) {
      if (!Put(static_cast<std::uint8_t>(c))) return false;
    }
    return true;
  }

  bool Insert(std::int64_t m) {
    const std::int64_t base = last_address_ + last_length_ + tail_length_;
    const std::int64_t block = p_.insert_block_size;
    std::int64_t offset = 0;
    while (offset < m) {
      const std::int64_t rest = m - offset;
      const bool last = rest >= block && rest < 2 * block;
      const std::int64_t size = last ? rest : std::min(block, rest);
      std::string chunk;
      for (std::int64_t i = 0; i < size; ++i) {
        std::uint8_t b = 0;
        if (!Byte(3, &b)) return false;
        chunk += static_cast<char>(b);
      }
      bool plain = false;
      if (!Bit(1, &plain)) return false;
      if (!plain) {
        for (std::int64_t i = 0; i < size; ++i) {
          std::uint8_t s = 0;
          if (!At(base + offset + i, &s)) return false;
          chunk[i] = static_cast<char>(static_cast<std::uint8_t>(chunk[i]) + s);
        }
      }
      for (char c : chunk) {
        if (!Put(static_cast<std::uint8_t>(c))) return false;
      }
      if (last) break;
      offset += block;
    }
    return true;
  }

  const ReferenceParameters p_;
  const std::string& source_;
  const std::array<std::string, 5>& streams_;
  const std::uint32_t output_size_;

  std::int64_t bound_ = 0;
  std::array<size_t, 5> taken_{};
  std::array<int, 2> bit_position_{};        // stream A, stream B
  std::array<std::uint8_t, 2> bit_byte_{};
  std::int64_t last_address_ = 0;
  std::int64_t last_length_ = 0;
  int tail_length_ = 0;
  std::int64_t period_left_ = 0;
  std::string output_;
};

}  // namespace ztx::testing
