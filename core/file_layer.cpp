#include "core/file_layer.h"

#include "core/names.h"
#include "platform/big5.h"

namespace ztx {

FileHandle FileLayer::OpenReadWrite(const std::string& path) {
  return os_.Open(path, OpenMode::kReadWrite);
}

FileHandle FileLayer::OpenForRead(const std::string& path) {
  return os_.Open(path, OpenMode::kReadShared);
}

FileHandle FileLayer::CreateNewFile(const std::string& path) {
  return os_.Open(path, OpenMode::kCreateNew);
}

FileHandle FileLayer::CreateScratchFile() { return os_.CreateScratch(); }

void FileLayer::Close(FileHandle h) {
  if (h != kNullHandle) os_.Close(h);
}

bool FileLayer::ReadBytes(FileHandle h, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  return os_.Read(h, buffer, count, &done) && done == count;
}

bool FileLayer::WriteBytes(FileHandle h, const void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  return os_.Write(h, buffer, count, &done) && done == count;
}

std::uint32_t FileLayer::FileSize(FileHandle h) {
  std::uint64_t size = 0;
  if (!os_.Size(h, &size) || size >= kFileSizeUnknown) return kFileSizeUnknown;
  return static_cast<std::uint32_t>(size);
}

bool FileLayer::SeekTo(FileHandle h, std::uint32_t position) { return os_.Seek(h, position); }

std::uint32_t FileLayer::CurrentPosition(FileHandle h) {
  std::uint32_t position = 0;
  return os_.Tell(h, &position) ? position : 0xFFFFFFFF;
}

void FileLayer::SetWriteTime(FileHandle h, std::uint32_t dos_date_time) {
  os_.SetWriteTimeDos(h, dos_date_time);
}

bool FileLayer::FileExists(const std::string& path) {
  const FileHandle h = OpenForRead(path);
  Close(h);
  return h != kNullHandle;
}

bool FileLayer::HasFile(const std::string& path) {
  const std::uint32_t a = os_.GetAttributes(path);
  return a != attr::kInvalid && !(a & attr::kDirectory);
}

bool FileLayer::DeleteFileForce(const std::string& path) {
  os_.SetAttributes(path, attr::kNormal);  // clears read-only, hidden and system
  return os_.DeleteFile(path);
}

bool FileLayer::MoveFileTo(const std::string& from, const std::string& to) {
  return os_.MoveFile(from, to);
}

bool FileLayer::IsPlainFolder(const std::string& path) {
  return os_.GetAttributes(path) == attr::kDirectory;
}

bool FileLayer::MakeFolder(const std::string& path) { return os_.MakeFolder(path); }

void FileLayer::RemoveFolder(const std::string& path) { os_.RemoveFolder(path); }

void FileLayer::MakeParentFolders(const std::string& path) {
  std::string prefix;
  PathScanner scanner;
  for (char c : path) {
    if (!scanner.IsSeparator(c)) {
      prefix += c;
      continue;
    }
    // Fails harmlessly on a drive prefix such as "C:" and on existing folders.
    if (!prefix.empty()) os_.MakeFolder(prefix);
    prefix += '/';
  }
}

void FileLayer::PruneEmptyFolders(const std::string& base, const std::string& relative) {
  std::vector<std::string> elements = NormalizedElements(relative);
  if (elements.empty()) return;
  elements.pop_back();  // the file itself
  while (!elements.empty()) {
    std::string folder = base;
    for (const std::string& e : elements) folder += "\\" + e;
    // Fails on a folder that still holds anything; its parent is tried all the
    // same (it cannot be empty then, and fails too).
    os_.RemoveFolder(folder);
    elements.pop_back();
  }
}

}  // namespace ztx
