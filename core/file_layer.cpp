#include "core/file_layer.h"

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

void FileLayer::PruneEmptyFolders(const std::string& path) {
  // Separators at the start of the path (a root such as "\" or "/", or the
  // "\\" of a network name) stay at the start of every parent, so that the walk
  // never wanders off to folders of the same names below the current folder; the
  // root itself is never removed.
  const size_t root_length = path.find_first_not_of("\\/");
  if (root_length == std::string::npos) return;
  const std::string root = path.substr(0, root_length);
  std::string current = path.substr(root_length);
  while (!current.empty()) {
    std::string parent, element;
    PathScanner scanner;
    for (char c : current) {
      if (!scanner.IsSeparator(c)) {
        element += c;
        continue;
      }
      if (!parent.empty()) parent += '\\';
      parent += element;
      element.clear();
    }
    // Removal fails on a folder that still holds anything; the walk goes on
    // with its parent all the same.
    if (!parent.empty()) os_.RemoveFolder(root + parent);
    current = parent;
  }
}

}  // namespace ztx
