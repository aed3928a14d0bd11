#include "platform/os_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/text_codec.h"

namespace ztx {
namespace {

bool IsAscii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Paths come in Big5, as the ANSI calls of Windows take them, and go to the file
// system in UTF-8, as Windows would store them in Unicode. After the conversion a
// backslash is always a separator: UTF-8 has no byte 0x5C inside a character.
std::string NativePath(const std::string& path) {
  std::string out = IsAscii(path) ? path : Big5ToUtf8(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

// Names from the system, in UTF-8, as the Big5 that the rest of ztx works in.
std::string FromNative(const std::string& name) {
  std::string big5;
  return IsAscii(name) || !Utf8ToBig5(name, &big5) ? name : big5;
}

// Decodes a DOS date/time (local time). False for values no DOS clock shows.
bool DosToUnixTime(std::uint32_t dos, time_t* out) {
  const unsigned date = dos >> 16, time = dos & 0xFFFF;
  struct tm tm = {};
  tm.tm_mday = static_cast<int>(date & 31);
  tm.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
  tm.tm_year = static_cast<int>(date >> 9) + 80;
  tm.tm_sec = static_cast<int>(time & 31) * 2;
  tm.tm_min = static_cast<int>((time >> 5) & 63);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_isdst = -1;
  if (tm.tm_mday < 1 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59) {
    return false;
  }
  *out = mktime(&tm);
  return *out != static_cast<time_t>(-1);
}

}  // namespace

PosixOs::~PosixOs() {
  while (!open_.empty()) Close(open_.begin()->first);
}

FileHandle PosixOs::Open(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::kReadShared: flags |= O_RDONLY; break;
    case OpenMode::kReadWrite: flags |= O_RDWR; break;
    case OpenMode::kCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  const int fd = open(NativePath(path).c_str(), flags, 0666);
  if (fd < 0) return kNullHandle;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return kNullHandle;
  }
  return Remember(fd, mode != OpenMode::kReadShared, "");
}

FileHandle PosixOs::CreateScratch() {
  const char* tmp = getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/ztxXXXXXX.TMP";
  const int fd = mkostemps(name.data(), 4, O_CLOEXEC);
  if (fd < 0) return kNullHandle;
  return Remember(fd, true, name);
}

bool PosixOs::Read(FileHandle h, void* buffer, std::uint32_t count, std::uint32_t* done) {
  *done = 0;
  const Entry* e = Find(h);
  if (!e) return false;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    const ssize_t n = read(e->fd, p + *done, count - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // end of file: a short read, reported by *done
    *done += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool PosixOs::Write(FileHandle h, const void* buffer, std::uint32_t count,
           std::uint32_t* done) {
  *done = 0;
  const Entry* e = Find(h);
  if (!e || !e->writable) return false;
  const auto* p = static_cast<const char*>(buffer);
  while (*done < count) {
    const ssize_t n = write(e->fd, p + *done, count - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // a full disk
    *done += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool PosixOs::Size(FileHandle h, std::uint64_t* size) {
  const Entry* e = Find(h);
  struct stat st;
  if (!e || fstat(e->fd, &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool PosixOs::Seek(FileHandle h, std::uint32_t position) {
  const Entry* e = Find(h);
  if (!e || position > 0x7FFFFFFFu) return false;
  return lseek(e->fd, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool PosixOs::Tell(FileHandle h, std::uint32_t* position) {
  const Entry* e = Find(h);
  if (!e) return false;
  const off_t at = lseek(e->fd, 0, SEEK_CUR);
  if (at < 0 || static_cast<std::uint64_t>(at) > 0xFFFFFFFFu) return false;
  *position = static_cast<std::uint32_t>(at);
  return true;
}

// One fsync per file costs a journal commit each (about 1 ms here, most of an
// apply of many small files). Flush only starts the writing of the file's
// bytes; FinishFlushes then waits for all of them with one syncfs.
bool PosixOs::Flush(FileHandle h) {
  const Entry* e = Find(h);
  if (!e) return false;
  if (!durable_) return true;
  flushes_started_ = true;
  if (sync_file_range(e->fd, 0, 0, SYNC_FILE_RANGE_WRITE) == 0) return true;
  // A file system that cannot start the writing alone still can flush.
  return (errno == EINVAL || errno == ENOSYS || errno == ESPIPE) && fsync(e->fd) == 0;
}

bool PosixOs::FinishFlushes(const std::string& folder) {
  if (!durable_ || !flushes_started_) return true;
  const int fd = open(NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool done = syncfs(fd) == 0;
  close(fd);
  if (done) flushes_started_ = false;
  return done;
}

void PosixOs::Close(FileHandle h) {
  auto it = open_.find(h);
  if (it == open_.end()) return;
  close(it->second.fd);
  if (!it->second.scratch_path.empty()) unlink(it->second.scratch_path.c_str());
  open_.erase(it);
}

bool PosixOs::SetWriteTimeDos(FileHandle h, std::uint32_t dos_date_time) {
  const Entry* e = Find(h);
  time_t when;
  if (!e || !e->writable || !DosToUnixTime(dos_date_time, &when)) return false;
  struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
  return futimens(e->fd, times) == 0;
}

std::uint32_t PosixOs::GetAttributes(const std::string& path) {
  struct stat st;
  if (stat(NativePath(path).c_str(), &st) != 0) return attr::kInvalid;
  std::uint32_t a = 0;
  if (S_ISDIR(st.st_mode)) a |= attr::kDirectory;
  if (!(st.st_mode & S_IWUSR)) a |= attr::kReadOnly;
  return a == 0 ? attr::kNormal : a;
}

bool PosixOs::SetAttributes(const std::string& path, std::uint32_t attributes) {
  const std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & attr::kReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  return chmod(native.c_str(), mode) == 0;
}

bool PosixOs::DeleteFile(const std::string& path) {
  const std::string native = NativePath(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return false;  // read-only
  return unlink(native.c_str()) == 0;
}

bool PosixOs::MoveFile(const std::string& from, const std::string& to) {
  const std::string src = NativePath(from), dst = NativePath(to);
  if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: check, then rename.
  struct stat st;
  if (lstat(dst.c_str(), &st) == 0) return false;
  return rename(src.c_str(), dst.c_str()) == 0;
}

bool PosixOs::MakeFolder(const std::string& path) {
  return mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool PosixOs::RemoveFolder(const std::string& path) {
  return rmdir(NativePath(path).c_str()) == 0;
}

std::string PosixOs::ProgramPath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return FromNative(path);
}

std::string PosixOs::CurrentFolder() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? FromNative(buffer) : std::string();
}

// POSIX names have no short form: an existing path is its own.
std::string PosixOs::ShortPath(const std::string& path) {
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0 ? path : std::string();
}

FileHandle PosixOs::Remember(int fd, bool writable, std::string scratch_path) {
  const FileHandle h = static_cast<FileHandle>(fd) + 1;  // fd 0 must not be the null handle
  open_[h] = Entry{fd, writable, std::move(scratch_path)};
  return h;
}

const PosixOs::Entry* PosixOs::Find(FileHandle h) const {
  auto it = open_.find(h);
  return it == open_.end() ? nullptr : &it->second;
}

// The arguments of the process joined again, each quoted when it holds a blank.
std::string PosixOs::CommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string line, arg;
  for (char c : raw) {
    if (c != '\0') {
      arg += c;
      continue;
    }
    if (!line.empty()) line += ' ';
    line += arg.find(' ') == std::string::npos ? arg : '"' + arg + '"';
    arg.clear();
  }
  return line;
}


std::unique_ptr<Os> MakeNativeOs() { return std::make_unique<PosixOs>(); }

}  // namespace ztx
