// The file helper layer: every file and folder operation of the applier, written
// once on top of the OS interface. Each operation fixes how one kind of use opens
// or changes a file and turns failure into the null handle or false; deciding
// what a failure means (which message to report) is the caller's business.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

namespace ztx {

// FileSize's answer when the size is unknown or does not fit 32 bits.
constexpr std::uint32_t kFileSizeUnknown = 0xFFFFFFFF;

class FileLayer {
 public:
  explicit FileLayer(Os& os) : os_(os) {}
  Os& os() { return os_; }

  // Opens. A folder, or a file that cannot be opened with the needed sharing,
  // gives the null handle.
  FileHandle OpenReadWrite(const std::string& path);  // existing file, others may read
  FileHandle OpenForRead(const std::string& path);    // existing file, others may read
  FileHandle CreateNewFile(const std::string& path);  // fails when the name exists
  FileHandle CreateScratchFile();                     // anonymous, gone when closed
  void Close(FileHandle h);

  // Transfers of exactly `count` bytes at the current position. A short
  // transfer (end of file, full disk) is a failure, so truncated data can never
  // be taken for complete data.
  bool ReadBytes(FileHandle h, void* buffer, std::uint32_t count);
  bool WriteBytes(FileHandle h, const void* buffer, std::uint32_t count);

  // The size, or kFileSizeUnknown. A file of 4 GiB or more also gives
  // kFileSizeUnknown, never its size modulo 2^32.
  std::uint32_t FileSize(FileHandle h);
  bool SeekTo(FileHandle h, std::uint32_t position);
  // The current position, or 0xFFFFFFFF when it cannot be had.
  std::uint32_t CurrentPosition(FileHandle h);
  // Sets the last-write time from a DOS date/time; silent on failure.
  void SetWriteTime(FileHandle h, std::uint32_t dos_date_time);
  bool Flush(FileHandle h) { return os_.Flush(h); }

  // Names.
  bool FileExists(const std::string& path);  // readable with read sharing; not a folder
  // A file of this name is there, whether or not anybody may open it now.
  bool HasFile(const std::string& path);
  bool DeleteFileForce(const std::string& path);  // also read-only, hidden, system files
  bool MoveFileTo(const std::string& from, const std::string& to);  // never replaces
  bool IsPlainFolder(const std::string& path);  // a folder with no other attribute
  bool MakeFolder(const std::string& path);
  void RemoveFolder(const std::string& path);  // only an empty one; silent
  // Creates every missing folder on the way to the last element of the path.
  void MakeParentFolders(const std::string& path);
  // Removes the folders on the way from `base` to the last element of the
  // relative name, innermost first, as far as they are empty. `base` itself and
  // everything above it stay: the walk never leaves the tree it works in.
  void PruneEmptyFolders(const std::string& base, const std::string& relative);

 private:
  Os& os_;
};

// Owns an open handle and closes it when it goes out of scope.
class ScopedFile {
 public:
  ScopedFile() = default;
  ScopedFile(FileLayer& files, FileHandle h) : files_(&files), handle_(h) {}
  ScopedFile(ScopedFile&& other) noexcept { *this = std::move(other); }
  ScopedFile& operator=(ScopedFile&& other) noexcept {
    if (this != &other) {
      Reset();
      files_ = other.files_;
      handle_ = other.Release();
    }
    return *this;
  }
  ~ScopedFile() { Reset(); }

  FileHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kNullHandle; }
  FileHandle Release() {
    const FileHandle h = handle_;
    handle_ = kNullHandle;
    return h;
  }
  void Reset() {
    if (handle_ != kNullHandle) files_->Close(handle_);
    handle_ = kNullHandle;
  }

 private:
  FileLayer* files_ = nullptr;
  FileHandle handle_ = kNullHandle;
};

}  // namespace ztx
