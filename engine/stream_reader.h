// Read-ahead readers for the delta streams: each stream is a byte range of a
// file (the patch script) read strictly forward through its own buffer, so that
// taking one number byte or one flag byte costs no system call and no virtual
// call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_layer.h"

namespace ztx {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Exactly `count` bytes, or false: a stream never yields bytes it does not hold.
  bool Read(std::uint8_t* out, std::uint32_t count) {
    if (count <= static_cast<std::uint32_t>(end_ - next_)) {
      std::memcpy(out, next_, count);
      next_ += count;
      return true;
    }
    return ReadSlow(out, count);
  }
  bool ReadByte(std::uint8_t* out) {
    if (next_ == end_ && !Refill()) return false;
    *out = *next_++;
    return true;
  }
  std::uint32_t remaining() const { return static_cast<std::uint32_t>(end_ - next_) + unbuffered(); }

 protected:
  // Makes [next_, end_) the next bytes of the stream; false at its end.
  virtual bool Refill() = 0;
  // Bytes of the stream not yet in the buffer.
  virtual std::uint32_t unbuffered() const = 0;

  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;

 private:
  bool ReadSlow(std::uint8_t* out, std::uint32_t count);
};

// `length` bytes of a file from `offset` on. Other readers may use the same
// file handle: every refill seeks before it reads.
class FileRangeReader final : public ByteSource {
 public:
  FileRangeReader(FileLayer& files, FileHandle file, std::uint32_t offset, std::uint32_t length,
                  std::uint32_t buffer_size = 64 * 1024);

 protected:
  bool Refill() override;
  std::uint32_t unbuffered() const override { return left_; }

 private:
  FileLayer& files_;
  FileHandle file_;
  std::uint32_t file_position_;  // of the first byte not yet in the buffer
  std::uint32_t left_;           // bytes of the range not yet in the buffer
  std::vector<std::uint8_t> buffer_;
};

// Bytes held in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {
    next_ = reinterpret_cast<const std::uint8_t*>(bytes_.data());
    end_ = next_ + bytes_.size();
  }
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;

 protected:
  bool Refill() override { return false; }
  std::uint32_t unbuffered() const override { return 0; }

 private:
  std::string bytes_;
};

}  // namespace ztx
