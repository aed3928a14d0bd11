#include "engine/stream_reader.h"

#include <algorithm>
#include <cstring>

namespace ztx {

FileRangeReader::FileRangeReader(FileLayer& files, FileHandle file, std::uint32_t offset,
                                 std::uint32_t length, std::uint32_t buffer_size)
    : files_(files),
      file_(file),
      file_position_(offset),
      left_(length),
      buffer_(std::min(buffer_size, std::max<std::uint32_t>(length, 1))) {}

bool FileRangeReader::Refill() {
  const std::uint32_t n = std::min<std::uint32_t>(left_, static_cast<std::uint32_t>(buffer_.size()));
  if (n == 0 || !files_.SeekTo(file_, file_position_) || !files_.ReadBytes(file_, buffer_.data(), n)) {
    return false;
  }
  file_position_ += n;
  left_ -= n;
  next_ = 0;
  end_ = n;
  return true;
}

bool FileRangeReader::Read(std::uint8_t* out, std::uint32_t count) {
  if (count > remaining()) return false;
  while (count > 0) {
    if (next_ == end_ && !Refill()) return false;
    const std::uint32_t n = std::min(count, end_ - next_);
    std::memcpy(out, buffer_.data() + next_, n);
    next_ += n;
    out += n;
    count -= n;
  }
  return true;
}

bool MemorySource::Read(std::uint8_t* out, std::uint32_t count) {
  if (count > bytes_.size() - next_) return false;
  std::memcpy(out, bytes_.data() + next_, count);
  next_ += count;
  return true;
}

}  // namespace ztx
