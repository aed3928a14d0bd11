// The operating system interface: the only way the rest of ztx touches files,
// folders and the process. One abstract class, one backend per system (Win32 in
// os_win32.cpp, POSIX in os_posix.cpp), chosen at run time so that tests can wrap
// the real backend and make any single call fail.
//
// Paths and texts are 8-bit strings in the ANSI code page of Windows (Big5, code
// page 950, on the systems we ship to). Failures are reported as the null handle or
// false; deciding what a failure means is the caller's business.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ztx {

// An open file. 0 is the null handle: every failed open returns it.
using FileHandle = std::uintptr_t;
constexpr FileHandle kNullHandle = 0;

// How a file is opened. Each mode fixes access, sharing and disposition:
enum class OpenMode {
  kReadShared,      // read only, others may read too; the file must exist
  kReadWrite,       // read and write, others may read; the file must exist
  kCreateNew,       // read and write, unshared; fails when the name exists
};

// An open registry key. 0 is no key.
using RegKey = std::uintptr_t;

enum class RegAccess {
  kRead,  // query values
  kAll,   // query and set values
};

// The predefined root keys, by the numbers Windows gives their handles. A patch
// names roots by these numbers; no other number is a root.
namespace root_key {
constexpr std::uint32_t kClassesRoot = 0x80000000;
constexpr std::uint32_t kCurrentUser = 0x80000001;
constexpr std::uint32_t kLocalMachine = 0x80000002;
constexpr std::uint32_t kUsers = 0x80000003;
constexpr std::uint32_t kCurrentConfig = 0x80000005;
constexpr bool IsPredefined(std::uint32_t root) {
  return root >= kClassesRoot && root <= 0x80000006 && root != 0x80000004;
}
}  // namespace root_key

// File attributes, in the values Windows uses for them.
namespace attr {
constexpr std::uint32_t kReadOnly = 0x01;
constexpr std::uint32_t kHidden = 0x02;
constexpr std::uint32_t kSystem = 0x04;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kNormal = 0x80;
constexpr std::uint32_t kInvalid = 0xFFFFFFFF;  // the path does not exist
}  // namespace attr

class Os {
 public:
  virtual ~Os() = default;

  // Files. Reads and writes report how much they moved in *done; a short
  // transfer is not a failure at this level.
  virtual FileHandle Open(const std::string& path, OpenMode mode) = 0;
  // An anonymous file, named with the prefix "ztx" in the temporary folder, open
  // for reading and writing, unshared, deleted when its handle is closed.
  virtual FileHandle CreateScratch() = 0;
  virtual bool Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) = 0;
  virtual bool Write(FileHandle h, const void* buffer, std::uint32_t count,
                     std::uint32_t* done) = 0;
  // The full 64-bit size; false when it cannot be had.
  virtual bool Size(FileHandle h, std::uint64_t* size) = 0;
  // Positions are 32-bit signed, as the format's: false beyond that.
  virtual bool Seek(FileHandle h, std::uint32_t position) = 0;
  virtual bool Tell(FileHandle h, std::uint32_t* position) = 0;
  // Makes the written data durable, or starts to: a backend may leave the
  // waiting to FinishFlushes, so that many files cost one wait.
  virtual bool Flush(FileHandle h) = 0;
  // Returns when every file flushed so far on the file system of `folder` is
  // on the disk; false when that cannot be made sure.
  virtual bool FinishFlushes(const std::string& folder) = 0;
  virtual void Close(FileHandle h) = 0;
  // Sets the last-write time from a DOS date (high 16 bits) and time (low 16
  // bits) in local time. Needs a handle opened for writing.
  virtual bool SetWriteTimeDos(FileHandle h, std::uint32_t dos_date_time) = 0;

  // Names.
  virtual std::uint32_t GetAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
  // Deletes a file; fails on a read-only file and on a folder.
  virtual bool DeleteFile(const std::string& path) = 0;
  // Renames a file or folder; fails when `to` exists.
  virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
  virtual bool MakeFolder(const std::string& path) = 0;
  // Removes an empty folder.
  virtual bool RemoveFolder(const std::string& path) = 0;

  // The registry. Keys are opened, never created. A value is read whole or not
  // at all: data longer than `capacity` bytes is a failure.
  virtual bool RegOpenKey(std::uint32_t root, const std::string& sub_key, RegAccess access,
                          RegKey* key) = 0;
  virtual bool RegQueryValue(RegKey key, const std::string& name, std::uint32_t capacity,
                             std::string* data) = 0;
  virtual bool RegSetValue(RegKey key, const std::string& name, std::uint32_t type,
                           const std::string& data) = 0;
  virtual void RegCloseKey(RegKey key) = 0;

  // The Windows folder and the system folder; empty when they cannot be had.
  virtual std::string WindowsFolder() = 0;
  virtual std::string SystemFolder() = 0;

  // Replacing files at the next start of Windows.
  // The GetVersion answer: high bit set on the Windows 95 family.
  virtual std::uint32_t Version() = 0;
  // Registers a move for the next start (an empty `to` deletes `from`).
  virtual bool DelayedMove(const std::string& from, const std::string& to) = 0;
  virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) = 0;
  virtual std::string CurrentFolder() = 0;
  // The short (8.3) form of an existing path; empty when there is none.
  virtual std::string ShortPath(const std::string& path) = 0;
  // Asks the system to restart; false when it will not.
  virtual bool RequestRestart() = 0;

  // The process.
  // Full path of the running program file.
  virtual std::string ProgramPath() = 0;
  // The command line as one text, the program name first.
  virtual std::string CommandLine() = 0;
};

// The backend of the system this program was built for.
std::unique_ptr<Os> MakeNativeOs();

}  // namespace ztx
