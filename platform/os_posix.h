// The POSIX backend: a stand-in for Windows where POSIX can be faithful.
//
// - Paths are Big5 and may use backslashes; the file system sees UTF-8 names
//   with '/', as Windows keeps Unicode names behind its ANSI calls.
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
#include <utility>
#include <vector>

#include "platform/memory_registry.h"
#include "platform/os.h"

namespace ztx {

class PosixOs final : public Os {
 public:
  ~PosixOs() override;

  MemoryRegistry& registry() { return registry_; }
  void SetWindowsFolder(std::string folder) { windows_folder_ = std::move(folder); }
  void SetSystemFolder(std::string folder) { system_folder_ = std::move(folder); }

  // What would happen at the next start of Windows: delayed moves in order, and
  // profile strings as written (section, key, value, file).
  struct ProfileString {
    std::string section, key, value, file;
    bool operator==(const ProfileString&) const = default;
  };
  const std::vector<std::pair<std::string, std::string>>& delayed_moves() const { return delayed_moves_; }
  const std::vector<ProfileString>& profile_strings() const { return profile_strings_; }
  // The GetVersion answer to give; the NT family unless told otherwise.
  void SetVersion(std::uint32_t version) { version_ = version; }
  // Whether Flush reaches the disk. A throwaway tree (a patch maker's
  // verification on copies) needs no durability and skips the cost.
  void SetDurable(bool durable) { durable_ = durable; }
  // Whether a restart request is granted; counts the requests.
  void SetRestartGranted(bool granted) { restart_granted_ = granted; }
  int restart_requests() const { return restart_requests_; }

  FileHandle Open(const std::string& path, OpenMode mode) override;
  FileHandle CreateScratch() override;
  bool Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) override;
  bool Write(FileHandle h, const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  bool Size(FileHandle h, std::uint64_t* size) override;
  bool Seek(FileHandle h, std::uint32_t position) override;
  bool Tell(FileHandle h, std::uint32_t* position) override;
  bool Flush(FileHandle h) override;
  bool FinishFlushes(const std::string& folder) override;
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

  std::uint32_t Version() override { return version_; }
  bool DelayedMove(const std::string& from, const std::string& to) override {
    delayed_moves_.emplace_back(from, to);
    return true;
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    profile_strings_.push_back({section, key, value, file});
    return true;
  }
  std::string CurrentFolder() override;
  std::string ShortPath(const std::string& path) override;
  bool RequestRestart() override {
    ++restart_requests_;
    return restart_granted_;
  }

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
  bool durable_ = true;
  bool flushes_started_ = false;  // writing started that FinishFlushes waits for
  std::uint32_t version_ = 0x0000000A;  // NT family
  std::vector<std::pair<std::string, std::string>> delayed_moves_;
  std::vector<ProfileString> profile_strings_;
  bool restart_granted_ = false;
  int restart_requests_ = 0;
};

}  // namespace ztx
