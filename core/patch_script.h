// The unpacked patch script: an anonymous scratch file that every pass reads in
// order through one shared position. All integers are little-endian; a string is
// one length byte and that many Big5 bytes. Every read either delivers all the
// bytes asked for or fails, so a pass over a truncated script ends instead of
// reading the same bytes again.
#pragma once

#include <cstdint>
#include <string>

#include "core/file_layer.h"

namespace ztx {

class PatchScript {
 public:
  explicit PatchScript(FileLayer& files) : files_(files) {}

  // Takes ownership of an open scratch file.
  void Attach(FileHandle scratch) { file_ = ScopedFile(files_, scratch); }
  FileHandle handle() const { return file_.get(); }

  bool Read(void* buffer, std::uint32_t count) {
    return files_.ReadBytes(file_.get(), buffer, count);
  }
  // Reads `count` bytes and forgets them.
  bool Skip(std::uint32_t count);
  // One script string. A 0 byte inside the stored bytes ends the text there,
  // but all of them are consumed.
  bool ReadString(std::string* text);
  bool ReadU8(std::uint8_t* value) { return Read(value, 1); }
  bool ReadU16(std::uint16_t* value);
  bool ReadU32(std::uint32_t* value);

  std::uint32_t Position() { return files_.CurrentPosition(file_.get()); }
  std::uint32_t Size() { return files_.FileSize(file_.get()); }
  bool SeekTo(std::uint32_t position) { return files_.SeekTo(file_.get(), position); }

 private:
  FileLayer& files_;
  ScopedFile file_;
};

}  // namespace ztx
