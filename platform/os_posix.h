// The POSIX backend: a stand-in for Windows where POSIX can be faithful.
//
// - Paths may use backslashes; they become '/' (Big5 trail bytes excepted).
// - Create-new fails on an existing name; a move never replaces an existing name.
// - The read-only attribute is the owner's write bit; a read-only file cannot be
//   deleted, as on Windows.
// - A folder cannot be opened as a file.
// - A scratch file carries the prefix "ztx" and vanishes when its handle closes.
// - Share modes have no POSIX counterpart and are ignored: tests of them run
//   under Wine against the Win32 backend.
// - The registry is a MemoryRegistry that tests fill; the Windows and system
//   folders are whatever the owner sets (empty until then).
#pragma once

#include <map>
#include <string>

#include "platform/memory_registry.h"
#include "platform/os.h"

namespace ztx {

class PosixOs final : public Os {
 public:
  ~PosixOs() override;

  MemoryRegistry& registry() { return registry_; }
  void SetWindowsFolder(std::string folder) { windows_folder_ = std::move(folder); }
  void SetSystemFolder(std::string folder) { system_folder_ = std::move(folder); }

  FileHandle Open(const std::string& path, OpenMode mode) override;
  FileHandle CreateScratch() override;
  bool Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) override;
  bool Write(FileHandle h, const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  bool Size(FileHandle h, std::uint64_t* size) override;
  bool Seek(FileHandle h, std::uint32_t position) override;
  bool Tell(FileHandle h, std::uint32_t* position) override;
  bool Flush(FileHandle h) override;
  void Close(FileHandle h) override;
  bool SetWriteTimeDos(FileHandle h, std::uint32_t dos_date_time) override;

  std::uint32_t GetAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, std::uint32_t attributes) override;
  bool DeleteFile(const std::string& path) override;
  bool MoveFile(const std::string& from, const std::string& to) override;
  bool MakeFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;

  bool RegOpenKey(std::uint32_t root, const std::string& sub_key, RegAccess access,
                  RegKey* key) override {
    return registry_.Open(root, sub_key, access, key);
  }
  bool RegQueryValue(RegKey key, const std::string& name, std::uint32_t capacity,
                     std::string* data) override {
    return registry_.Query(key, name, capacity, data);
  }
  bool RegSetValue(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) override {
    return registry_.Set(key, name, type, data);
  }
  void RegCloseKey(RegKey key) override { registry_.Close(key); }

  std::string WindowsFolder() override { return windows_folder_; }
  std::string SystemFolder() override { return system_folder_; }

  std::string ProgramPath() override;
  std::string CommandLine() override;

 private:
  struct Entry {
    int fd;
    bool writable;
    std::string scratch_path;  // unlinked on close
  };
  FileHandle Remember(int fd, bool writable, std::string scratch_path);
  const Entry* Find(FileHandle h) const;

  std::map<FileHandle, Entry> open_;
  MemoryRegistry registry_;
  std::string windows_folder_;
  std::string system_folder_;
};

}  // namespace ztx
