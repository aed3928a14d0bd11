#include "engine/stream_reader.h"

#include <algorithm>

namespace ztx {

bool ByteSource::ReadSlow(std::uint8_t* out, std::uint32_t count) {
  if (count > remaining()) return false;
  while (count > 0) {
    if (next_ == end_ && !Refill()) return false;
    const auto n = std::min(count, static_cast<std::uint32_t>(end_ - next_));
    std::memcpy(out, next_, n);
    next_ += n;
    out += n;
    count -= n;
  }
  return true;
}

FileRangeReader::FileRangeReader(FileLayer& files, FileHandle file, std::uint32_t offset,
                                 std::uint32_t length, std::uint32_t buffer_size)
    : files_(files),
      file_(file),
      file_position_(offset),
      left_(length),
      buffer_(std::min(buffer_size, std::max<std::uint32_t>(length, 1))) {
  next_ = end_ = buffer_.data();
}

bool FileRangeReader::Refill() {
  const auto n = std::min<std::uint32_t>(left_, static_cast<std::uint32_t>(buffer_.size()));
  if (n == 0 || !files_.SeekTo(file_, file_position_) || !files_.ReadBytes(file_, buffer_.data(), n)) {
    return false;
  }
  file_position_ += n;
  left_ -= n;
  next_ = buffer_.data();
  end_ = next_ + n;
  return true;
}

}  // namespace ztx
