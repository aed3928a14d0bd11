// The Win32 backend: the ANSI file API with the access rights, share modes,
// dispositions and flags that each use of a file needs.
#include "platform/win32_names.h"

#include <string>

#include "platform/os.h"

namespace ztx {
namespace {

HANDLE ToWin(FileHandle h) { return reinterpret_cast<HANDLE>(h); }

// The predefined root handles are 32-bit values sign-extended to pointer size
// (HKEY_LOCAL_MACHINE is (HKEY)(ULONG_PTR)(LONG)0x80000002).
HKEY RootHandle(std::uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

std::string FolderFrom(UINT(WINAPI* get)(LPSTR, UINT)) {
  char buffer[1024] = {};
  const UINT n = get(buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// INVALID_HANDLE_VALUE is not 0; callers test for the null handle only.
FileHandle FromWin(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? kNullHandle : reinterpret_cast<FileHandle>(h);
}

class Win32Os final : public Os {
 public:
  FileHandle Open(const std::string& path, OpenMode mode) override {
    DWORD access = GENERIC_READ | GENERIC_WRITE, share = FILE_SHARE_READ;
    DWORD disposition = OPEN_EXISTING, flags = FILE_FLAG_RANDOM_ACCESS;
    switch (mode) {
      case OpenMode::kReadShared:
        access = GENERIC_READ;
        break;
      case OpenMode::kReadWrite:
        break;
      case OpenMode::kCreateNew:
        share = 0;
        disposition = CREATE_NEW;
        flags = FILE_ATTRIBUTE_NORMAL;
        break;
    }
    return FromWin(CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
  }

  FileHandle CreateScratch() override {
    char folder[MAX_PATH + 1] = {};
    char name[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, folder);
    // GetTempFileNameA creates the empty file under a unique name; when the
    // temporary folder cannot be used, the root of drive C: is the last resort.
    if (GetTempFileNameA(folder, "ztx", 0, name) == 0 &&
        GetTempFileNameA("C:\\", "ztx", 0, name) == 0) {
      return kNullHandle;
    }
    // Delete-on-close and no sharing: the file lives exactly as long as this
    // handle, and nobody else can open it meanwhile.
    return FromWin(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY |
                                   FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  }

  bool Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(ToWin(h), buffer, count, &n, nullptr);
    *done = n;
    return ok != 0;
  }

  bool Write(FileHandle h, const void* buffer, std::uint32_t count,
             std::uint32_t* done) override {
    DWORD n = 0;
    const BOOL ok = WriteFile(ToWin(h), buffer, count, &n, nullptr);
    *done = n;
    return ok != 0;
  }

  bool Size(FileHandle h, std::uint64_t* size) override {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(ToWin(h), &n)) return false;
    *size = static_cast<std::uint64_t>(n.QuadPart);
    return true;
  }

  bool Seek(FileHandle h, std::uint32_t position) override {
    // Without a high part the distance is a signed 32-bit value.
    if (position > 0x7FFFFFFFu) return false;
    return SetFilePointer(ToWin(h), static_cast<LONG>(position), nullptr, FILE_BEGIN) !=
           INVALID_SET_FILE_POINTER;
  }

  bool Tell(FileHandle h, std::uint32_t* position) override {
    LONG high = 0;
    SetLastError(NO_ERROR);  // 0xFFFFFFFF is also a valid low part
    const DWORD low = SetFilePointer(ToWin(h), 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    if (high != 0) return false;
    *position = low;
    return true;
  }

  bool Flush(FileHandle h) override { return FlushFileBuffers(ToWin(h)) != 0; }
  // FlushFileBuffers has waited already: Windows has no cheaper way for a
  // program without administrator rights.
  bool FinishFlushes(const std::string&) override { return true; }

  void Close(FileHandle h) override {
    if (h != kNullHandle) CloseHandle(ToWin(h));
  }

  bool SetWriteTimeDos(FileHandle h, std::uint32_t dos_date_time) override {
    FILETIME local, utc;
    return DosDateTimeToFileTime(static_cast<WORD>(dos_date_time >> 16),
                                 static_cast<WORD>(dos_date_time & 0xFFFF), &local) &&
           LocalFileTimeToFileTime(&local, &utc) && SetFileTime(ToWin(h), nullptr, nullptr, &utc);
  }

  std::uint32_t GetAttributes(const std::string& path) override {
    return GetFileAttributesA(path.c_str());
  }

  bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
    return SetFileAttributesA(path.c_str(), attributes) != 0;
  }

  bool DeleteFile(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

  // MoveFileA never replaces an existing name.
  bool MoveFile(const std::string& from, const std::string& to) override {
    return MoveFileA(from.c_str(), to.c_str()) != 0;
  }

  bool MakeFolder(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }

  bool RemoveFolder(const std::string& path) override {
    return RemoveDirectoryA(path.c_str()) != 0;
  }

  bool RegOpenKey(std::uint32_t root, const std::string& sub_key, RegAccess access,
                  RegKey* key) override {
    // Only the predefined roots: any other number would be taken for a handle.
    if (!root_key::IsPredefined(root)) return false;
    HKEY opened = nullptr;
    const REGSAM sam = access == RegAccess::kRead ? KEY_READ : KEY_ALL_ACCESS;
    if (RegOpenKeyExA(RootHandle(root), sub_key.c_str(), 0, sam, &opened) != ERROR_SUCCESS) {
      return false;
    }
    *key = reinterpret_cast<RegKey>(opened);
    return true;
  }

  bool RegQueryValue(RegKey key, const std::string& name, std::uint32_t capacity,
                     std::string* data) override {
    std::string buffer(capacity, '\0');
    DWORD size = capacity;
    // ERROR_MORE_DATA when the value does not fit: a failure, not a cut value.
    if (RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
      return false;
    }
    buffer.resize(size);
    *data = std::move(buffer);
    return true;
  }

  bool RegSetValue(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) override {
    return RegSetValueExA(reinterpret_cast<HKEY>(key), name.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

  void RegCloseKey(RegKey key) override { ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

  std::string WindowsFolder() override { return FolderFrom(GetWindowsDirectoryA); }
  std::string SystemFolder() override { return FolderFrom(GetSystemDirectoryA); }

  std::string CommandLine() override { return GetCommandLineA(); }

  std::uint32_t Version() override { return GetVersion(); }

  // No replace flag: the moves are queued so that nothing needs replacing (an
  // old file goes out before the new one comes in).
  bool DelayedMove(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.empty() ? nullptr : to.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  }

  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
  }

  std::string CurrentFolder() override {
    char buffer[501] = {};
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  std::string ShortPath(const std::string& path) override {
    char buffer[501] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  // On the NT family a restart needs the shutdown privilege, which a process
  // holds but has not enabled: enable it first, or the request fails.
  bool RequestRestart() override {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      TOKEN_PRIVILEGES privileges = {};
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
      }
      CloseHandle(token);
    }
    return ExitWindowsEx(EWX_REBOOT, 0xFFFFFFFF) != 0;
  }

  std::string ProgramPath() override {
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n <= MAX_PATH ? n : 0);
  }
};

}  // namespace

std::unique_ptr<Os> MakeNativeOs() { return std::make_unique<Win32Os>(); }

}  // namespace ztx
