#include "commit/location.h"

#include "core/records.h"
#include "platform/big5.h"

namespace ztx {

std::string FolderOfPath(FileLayer& files, const std::string& path) {
  if (!files.FileExists(path)) return path;
  // Everything up to and including the last separator.
  size_t cut = 0;
  PathScanner scanner;
  for (size_t i = 0; i < path.size(); ++i) {
    if (scanner.IsSeparator(path[i])) cut = i + 1;
  }
  return cut == 0 ? "." : path.substr(0, cut);
}

MessageId ReadInstallPath(Os& os, std::uint32_t root, const std::string& sub_key,
                          const std::string& value_name, std::uint32_t capacity,
                          std::string* path) {
  RegKey key = 0;
  if (!os.RegOpenKey(root, sub_key, RegAccess::kRead, &key)) return msg::kInstallPathMissing;
  std::string data;
  const bool read = os.RegQueryValue(key, value_name, capacity, &data);
  os.RegCloseKey(key);
  // The value's type is not looked at: its data up to the first 0 byte is the path.
  if (!read) return msg::kInstallPathMissing;
  data.resize(data.find('\0') == std::string::npos ? data.size() : data.find('\0'));
  if (data.empty()) return msg::kInstallPathMissing;
  *path = data;
  return msg::kOk;
}

namespace {

// The folder of one entry whose two header bytes have just been read.
MessageId LocateEntry(Session& s, LocationKind kind, LocationRow& row, std::string* folder) {
  switch (kind) {
    case LocationKind::kUserFolder:
      // An empty target box means the current folder, as no argument does;
      // an empty folder would turn every path into one at the root.
      *folder = FolderOfPath(s.files, s.requested_target.empty() ? "." : s.requested_target);
      return msg::kOk;
    case LocationKind::kRegistryPath: {
      std::uint32_t root = 0;
      std::string sub_key, value_name, path;
      if (!s.script.ReadU32(&root) || !s.script.ReadString(&sub_key) ||
          !s.script.ReadString(&value_name)) {
        return msg::kPatchDamaged;
      }
      row.group_position = s.script.Position();
      if (MessageId r = ReadInstallPath(s.files.os(), root, sub_key, value_name,
                                        kInstallPathCapacity, &path)) {
        return r;
      }
      *folder = FolderOfPath(s.files, path);
      return msg::kOk;
    }
    case LocationKind::kWindowsFolder:
    case LocationKind::kSystemFolder:
      *folder = kind == LocationKind::kWindowsFolder ? s.files.os().WindowsFolder()
                                                     : s.files.os().SystemFolder();
      return folder->empty() ? msg::kInstallPathMissing : msg::kOk;
  }
  return msg::kPatchDamaged;  // a kind no patch maker writes
}

}  // namespace

MessageId RunLocationPass(Session& s) {
  s.locations = LocationTable{};
  if (!s.script.SeekTo(s.location_block_start)) return msg::kPatchDamaged;
  for (int i = 0;; ++i) {
    if (i == kMaxLocations) return msg::kPatchDamaged;  // a 21st entry
    std::uint8_t kind = 0, flags = 0;
    if (!s.script.ReadU8(&kind) || !s.script.ReadU8(&flags)) return msg::kPatchDamaged;
    LocationRow& row = s.locations.rows[i];
    row.group_position = s.script.Position();
    std::string folder;
    if (MessageId r = LocateEntry(s, static_cast<LocationKind>(kind), row, &folder)) return r;
    s.names.current_target_folder = folder;
    row.folder = folder;
    s.ui.SetTargetText(folder);
    s.locations.last_row = i;
    if (!(flags & kMoreEntries)) return msg::kOk;
    // This entry's group lies between it and the next entry.
    if (MessageId r = SkipGroup(s)) return r;
  }
}

}  // namespace ztx
