// The delta format.
//
// Address space: signed 32-bit addresses. 0 .. SourceSize-1 are the bytes of the
// source file; an address a >= SourceSize is byte a - SourceSize of the output
// written so far in this call. The space is contiguous: a run that starts in the
// source and reaches past its end goes on in the output, and a copy from the
// output may overlap the bytes it writes itself (it is carried out in pieces
// that never read ahead of what is written). A run that reaches below 0 or
// beyond the bytes that exist is a damaged delta.
//
// Numbers: byte 0 from the number stream; then, when NumberBound allows wider
// numbers, a second-byte flag (stream B) and byte 1, a third-byte flag (stream
// A) and byte 2, a fourth-byte flag (stream A) and byte 3, each flag read only
// when the byte before it was; last a sign bit (stream B). Flag bits are taken
// least significant bit first, each flag stream with its own current byte.
//
// Commands, each starting with a number n, until the number stream is used up:
//   n > 0  copy n bytes from LastAddress + LastLength + d (d: the next number);
//          when PeriodLeft is exactly 0 a tail-length byte is read first and
//          PeriodLeft restarts at TailLengthPeriod; then TailLength bytes of the
//          tail stream follow, added to the source bytes behind the copied run
//          unless tails are plain
//   n < 0  insert -n bytes from the insert stream in chunks of InsertBlockSize
//          (the last chunk takes the rest when it is below twice the size), each
//          chunk added to the bytes at LastAddress + LastLength + TailLength +
//          offset unless its mode bit (stream A) is 1
//   n = 0  counts PeriodLeft down by one
//
// The state lives in one object per call; the streams are read through their
// own read-ahead buffers, the source and the output written so far through
// block caches, and the output through a write buffer.
#include "engine/delta_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/block_cache.h"
#include "core/crc32.h"

namespace ztx {
namespace {

constexpr std::uint32_t kBufferSize = 64 * 1024;
// Copies of executables jump between many places of the old file and come
// back to them: small blocks, many of them (4 MiB in all), catch most returns.
// Reads of the output's own past are rarer.
constexpr std::uint32_t kCacheBlockSize = 8 * 1024;
constexpr std::uint32_t kSourceBlocks = 512;
constexpr std::uint32_t kOutputBlocks = 64;

class FlagReader {
 public:
  explicit FlagReader(ByteSource& stream) : stream_(stream) {}
  bool Next(bool* bit) {
    if (position_ == 0 && !stream_.ReadByte(&current_)) return false;
    *bit = (current_ >> position_) & 1;
    position_ = (position_ + 1) & 7;
    return true;
  }

 private:
  ByteSource& stream_;
  std::uint8_t current_ = 0;
  int position_ = 0;
};

class DeltaDecoder {
 public:
  DeltaDecoder(FileLayer& files, const DeltaFiles& io, const SourceVersion& v,
               std::uint32_t output_size)
      : files_(files),
        io_(io),
        numbers_(*io.streams[kNumberStream]),
        flags_a_(*io.streams[kFlagStreamA]),
        flags_b_(*io.streams[kFlagStreamB]),
        source_size_(v.size),
        output_size_(output_size),
        tail_length_period_(v.tail_length_period),
        tails_added_(!(v.delta_flags & delta_flags::kPlainTails)),
        insert_block_size_(v.insert_block_size),
        number_bound_(v.delta_flags & delta_flags::kBoundCountsOutput
                          ? std::int64_t{v.size} + output_size
                          : std::max<std::int64_t>(v.size, output_size)),
        source_available_(std::min<std::int64_t>(v.size, files.FileSize(io.source))),
        copy_buffer_(kBufferSize),
        source_cache_(files, io.source, kCacheBlockSize, kSourceBlocks,
                      static_cast<std::uint64_t>(std::max<std::int64_t>(0, source_available_))),
        output_cache_(files, io.output, kCacheBlockSize, kOutputBlocks, output_size) {
    pending_.reserve(kBufferSize);
  }

  DeltaResult Run(UiHooks& ui) {
    DeltaResult out;
    out.result = Decode(ui);
    if (out.result == msg::kOk) out.result = FlushOutput();
    out.output_crc = crc_;
    out.output_length = output_length_;
    return out;
  }

 private:
  MessageId Decode(UiHooks& ui) {
    // Sizes are signed 32-bit in the format; a chunk size of 0 never ends.
    if (source_size_ > 0x7FFFFFFF || output_size_ > 0x7FFFFFFF || insert_block_size_ == 0) {
      return msg::kPatchDamaged;
    }
    while (numbers_.remaining() > 0) {
      ui.PumpMessages();
      std::int64_t n = 0;
      if (!ReadNumber(&n)) return msg::kPatchDamaged;
      MessageId r = msg::kOk;
      if (n > 0) {
        r = Copy(n);
      } else if (n < 0) {
        r = Insert(-n);
      } else {
        --period_left_;
      }
      if (r != msg::kOk) return r;
    }
    return msg::kOk;
  }

  bool ReadNumber(std::int64_t* value) {
    std::uint8_t bytes[4] = {};
    int count = 1;
    bool flag = false;
    if (!numbers_.ReadByte(&bytes[0])) return false;
    if (number_bound_ > 255) {
      if (!flags_b_.Next(&flag)) return false;
      if (flag) {
        if (!numbers_.ReadByte(&bytes[count++])) return false;
        if (number_bound_ > 65535) {
          if (!flags_a_.Next(&flag)) return false;
          if (flag) {
            if (!numbers_.ReadByte(&bytes[count++])) return false;
            if (number_bound_ > 16777215) {
              if (!flags_a_.Next(&flag)) return false;
              if (flag && !numbers_.ReadByte(&bytes[count++])) return false;
            }
          }
        }
      }
    }
    const std::uint32_t magnitude = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                    (static_cast<std::uint32_t>(bytes[3]) << 24);
    bool negative = false;
    if (!flags_b_.Next(&negative)) return false;
    // Two's complement of 32 bits, as the format stores it.
    *value = static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
    return true;
  }

  MessageId Copy(std::int64_t n) {
    std::int64_t d = 0;
    if (!ReadNumber(&d)) return msg::kPatchDamaged;
    const std::int64_t address = last_address_ + last_length_ + d;
    if (period_left_ == 0) {
      std::uint8_t length = 0;
      if (!numbers_.ReadByte(&length)) return msg::kPatchDamaged;
      tail_length_ = length;
      period_left_ = tail_length_period_;
    }
    --period_left_;
    last_length_ = n;
    last_address_ = address;
    // A run longer than the rest of the file is refused before a byte of it is
    // written: a hostile length cannot fill the disk.
    if (n > std::int64_t{output_size_} - output_length_) return msg::kCrcMismatch;

    // In pieces that never read ahead of the output written so far.
    for (std::int64_t done = 0; done < n;) {
      const std::int64_t at = address + done;
      const std::int64_t available = Available(at);
      if (available <= 0) return msg::kPatchDamaged;
      const auto piece =
          static_cast<std::uint32_t>(std::min<std::int64_t>({n - done, kBufferSize, available}));
      if (MessageId r = ReadSpace(at, piece, copy_buffer_.data())) return r;
      if (MessageId r = WriteOutput(copy_buffer_.data(), piece)) return r;
      done += piece;
    }

    if (tail_length_ == 0) return msg::kOk;
    std::uint8_t tail[255], added[255];
    if (!io_.streams[kTailStream]->Read(tail, tail_length_)) return msg::kPatchDamaged;
    if (tails_added_) {
      if (MessageId r = ReadSpace(address + n, tail_length_, added)) return r;
      for (std::uint32_t i = 0; i < tail_length_; ++i) tail[i] = static_cast<std::uint8_t>(tail[i] + added[i]);
    }
    return WriteOutput(tail, tail_length_);
  }

  MessageId Insert(std::int64_t m) {
    if (m > std::int64_t{output_size_} - output_length_) return msg::kCrcMismatch;
    const std::int64_t base = last_address_ + last_length_ + tail_length_;
    const std::int64_t block = insert_block_size_;
    std::uint8_t chunk[2 * 255], added[2 * 255];
    for (std::int64_t offset = 0;;) {
      const std::int64_t rest = m - offset;
      const bool last = rest >= block && rest < 2 * block;
      const auto size = static_cast<std::uint32_t>(last ? rest : std::min(block, rest));
      if (!io_.streams[kInsertStream]->Read(chunk, size)) return msg::kPatchDamaged;
      bool plain = false;
      if (!flags_a_.Next(&plain)) return msg::kPatchDamaged;
      if (!plain) {
        if (MessageId r = ReadSpace(base + offset, size, added)) return r;
        for (std::uint32_t i = 0; i < size; ++i) chunk[i] = static_cast<std::uint8_t>(chunk[i] + added[i]);
      }
      if (MessageId r = WriteOutput(chunk, size)) return r;
      if (last) return msg::kOk;
      offset += block;
      if (offset >= m) return msg::kOk;
    }
  }

  // How many bytes from `address` on exist in its part of the address space.
  std::int64_t Available(std::int64_t address) const {
    if (address < 0) return 0;
    if (address < source_size_) return source_size_ - address;
    return std::int64_t{output_length_} - (address - source_size_);
  }

  // Reads a run of the address space; it may pass from the source into the
  // output, never below 0 or beyond what exists.
  MessageId ReadSpace(std::int64_t address, std::uint32_t count, std::uint8_t* out) {
    while (count > 0) {
      const std::int64_t available = Available(address);
      if (available <= 0) return msg::kPatchDamaged;
      const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(count, available));
      const MessageId r = address < source_size_
                              ? ReadSource(static_cast<std::uint32_t>(address), n, out)
                              : ReadOutput(static_cast<std::uint32_t>(address - source_size_), n, out);
      if (r != msg::kOk) return r;
      address += n;
      out += n;
      count -= n;
    }
    return msg::kOk;
  }

  MessageId ReadSource(std::uint32_t at, std::uint32_t n, std::uint8_t* out) {
    // A source shorter than its SourceSize (an unverified chain step) is damaged
    // where a run needs a byte it lacks, and only there.
    if (at >= source_available_ || n > source_available_ - at) return msg::kPatchDamaged;
    return source_cache_.Read(at, n, static_cast<std::uint32_t>(source_available_), out)
               ? msg::kOk : msg::kPatchDamaged;
  }

  // Output bytes: from the write buffer when they are still there, else from the
  // file (bytes once written never change, so their blocks stay valid).
  MessageId ReadOutput(std::uint32_t at, std::uint32_t n, std::uint8_t* out) {
    const std::uint32_t flushed = file_length_;
    if (at < flushed) {
      const std::uint32_t from_file = std::min(n, flushed - at);
      output_at_end_ = false;
      if (!output_cache_.Read(at, from_file, flushed, out)) return msg::kDiskFull;
      at += from_file;
      out += from_file;
      n -= from_file;
    }
    if (n > 0) std::memcpy(out, pending_.data() + (at - flushed), n);
    return msg::kOk;
  }

  MessageId WriteOutput(const std::uint8_t* bytes, std::uint32_t n) {
    if (n > output_size_ - output_length_) return msg::kCrcMismatch;  // more than the file holds
    output_length_ += n;
    if (n >= kBufferSize / 2) {
      // A large piece goes to the file directly, without a copy into the buffer.
      if (MessageId r = FlushOutput()) return r;
      crc_ = Crc32Update(crc_, bytes, n);
      return WriteFile(bytes, n);
    }
    while (n > 0) {
      const auto take = std::min<std::uint32_t>(n, kBufferSize - static_cast<std::uint32_t>(pending_.size()));
      pending_.insert(pending_.end(), bytes, bytes + take);
      bytes += take;
      n -= take;
      if (pending_.size() == kBufferSize) {
        if (MessageId r = FlushOutput()) return r;
      }
    }
    return msg::kOk;
  }

  // The CRC runs over the buffer when it is written: one call per buffer rather
  // than one per command.
  MessageId FlushOutput() {
    if (pending_.empty()) return msg::kOk;
    crc_ = Crc32Update(crc_, pending_.data(), static_cast<std::uint32_t>(pending_.size()));
    const MessageId r = WriteFile(pending_.data(), static_cast<std::uint32_t>(pending_.size()));
    pending_.clear();
    return r;
  }

  // Appends to the output file; reads of it may have moved the position.
  MessageId WriteFile(const std::uint8_t* bytes, std::uint32_t n) {
    if (!output_at_end_) {
      if (!files_.SeekTo(io_.output, file_length_)) return msg::kDiskFull;
      output_at_end_ = true;
    }
    if (!files_.WriteBytes(io_.output, bytes, n)) return msg::kDiskFull;
    file_length_ += n;
    return msg::kOk;
  }

  FileLayer& files_;
  const DeltaFiles& io_;
  ByteSource& numbers_;
  FlagReader flags_a_;
  FlagReader flags_b_;
  const std::int64_t source_size_;
  const std::uint32_t output_size_;
  const std::int64_t tail_length_period_;
  const bool tails_added_;
  const std::uint32_t insert_block_size_;
  const std::int64_t number_bound_;
  const std::int64_t source_available_;  // source bytes that exist: SourceSize or fewer

  std::int64_t last_address_ = 0;
  std::int64_t last_length_ = 0;
  std::uint32_t tail_length_ = 0;
  std::int64_t period_left_ = 0;

  std::uint32_t crc_ = kCrcInitial;
  std::uint32_t output_length_ = 0;
  std::vector<std::uint8_t> pending_;  // written, not yet in the file
  std::vector<std::uint8_t> copy_buffer_;
  BlockCache source_cache_;
  BlockCache output_cache_;
  std::uint32_t file_length_ = 0;  // output bytes in the file; the rest are pending
  bool output_at_end_ = true;  // the output file's position is where the next write goes
};

}  // namespace

DeltaResult ApplyDelta(FileLayer& files, const DeltaFiles& io, const SourceVersion& version,
                       std::uint32_t output_size, UiHooks& ui) {
  DeltaDecoder decoder(files, io, version, output_size);
  return decoder.Run(ui);
}

}  // namespace ztx
