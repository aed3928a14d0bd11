// Read-ahead readers for the delta streams: each stream is a byte range of a
// file (the patch script) read strictly forward through its own buffer, so that
// taking one number byte or one flag byte costs no system call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/file_layer.h"

namespace ztx {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Exactly `count` bytes, or false: a stream never yields bytes it does not hold.
  virtual bool Read(std::uint8_t* out, std::uint32_t count) = 0;
  virtual std::uint32_t remaining() const = 0;
};

// `length` bytes of a file from `offset` on. Other readers may use the same
// file handle: every refill seeks before it reads.
class FileRangeReader final : public ByteSource {
 public:
  FileRangeReader(FileLayer& files, FileHandle file, std::uint32_t offset, std::uint32_t length,
                  std::uint32_t buffer_size = 64 * 1024);
  bool Read(std::uint8_t* out, std::uint32_t count) override;
  std::uint32_t remaining() const override { return left_ + (end_ - next_); }

 private:
  bool Refill();

  FileLayer& files_;
  FileHandle file_;
  std::uint32_t file_position_;  // of the first byte not yet in the buffer
  std::uint32_t left_;           // bytes of the range not yet in the buffer
  std::vector<std::uint8_t> buffer_;
  std::uint32_t next_ = 0, end_ = 0;  // unread part of the buffer
};

// Bytes held in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Read(std::uint8_t* out, std::uint32_t count) override;
  std::uint32_t remaining() const override {
    return static_cast<std::uint32_t>(bytes_.size() - next_);
  }

 private:
  std::string bytes_;
  size_t next_ = 0;
};

}  // namespace ztx
