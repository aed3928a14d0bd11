#include "maker/patch_maker.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "core/container.h"
#include "core/names.h"
#include "core/crc32.h"
#include "maker/delta_encoder.h"
#include "maker/delta_writer.h"
#include "maker/script_writer.h"
#include "platform/text_codec.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() > 0x7FFFFFFF) {
    throw std::runtime_error(path.string() + ": 2 GiB or more; a patch holds files below 2 GiB");
  }
  return bytes;
}

// A relative path as the patch names it: Big5, backslashes.
std::string PatchName(const std::string& relative) {
  std::string name;
  if (!Utf8ToBig5(relative, &name)) {
    throw std::runtime_error(relative + ": the name has a character that Big5 cannot hold");
  }
  std::replace(name.begin(), name.end(), '/', '\\');
  if (name.size() > 255 || !IsSafeRelativeName(name)) {
    throw std::runtime_error(relative + ": not a name a patch can carry (too long or reserved)");
  }
  return name;
}

// The last-write time as a DOS date (high half) and time (low half), local time.
std::uint32_t DosTime(const fs::path& path) {
  const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(path));
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  if (local.tm_year < 80) return 0;  // before 1980: no DOS time, leave the time alone
  const std::uint32_t date = static_cast<std::uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  const std::uint32_t time = static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  return (date << 16) | time;
}

// The CRC of a version with a byte range left out, as the applier computes it.
std::uint32_t CrcOf(const std::string& bytes, std::uint32_t offset = 0, std::uint32_t length = 0) {
  if (length == 0) return Crc32Update(kCrcInitial, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  const size_t head = std::min<size_t>(offset, bytes.size());
  std::uint32_t reg = Crc32Update(kCrcInitial, bytes.data(), static_cast<std::uint32_t>(head));
  const std::uint64_t resume = std::uint64_t{offset} + length;
  if (resume < bytes.size()) {
    reg = Crc32Update(reg, bytes.data() + resume, static_cast<std::uint32_t>(bytes.size() - resume));
  }
  return reg;
}

std::string Big5Of(const std::string& utf8, const char* what) {
  std::string big5;
  if (!Utf8ToBig5(utf8, &big5)) throw std::runtime_error(std::string(what) + " has a character that Big5 cannot hold: " + utf8);
  if (big5.size() > 255) throw std::runtime_error(std::string(what) + " is longer than 255 bytes: " + utf8);
  return big5;
}

std::string RegistryBlock(const RegistrySpec& r) {
  RegistryBlockWriter block(r.check.root, Big5Of(r.check.key, "a registry key"),
                            Big5Of(r.check.value, "a registry value name"));
  for (const RegistrySpec::Operation& op : r.operations) {
    if (op.open) {
      block.OpenKey(op.key.root, Big5Of(op.key.key, "a registry key"));
    } else {
      if (op.data.size() > 1001) throw std::runtime_error("registry value " + op.key.value + ": more than 1001 bytes");
      block.SetValue(Big5Of(op.key.value, "a registry value name"), op.type, op.data);
    }
  }
  return block.Bytes();
}

// A step for a file whose bytes in [offset, offset + length) differ from copy to
// copy of one version (a build stamp, a serial number): what the new file takes
// from the old one must never come from that range, or the bytes on the user's
// disk would leak into the result. So the step copies only the shared start
// before the range and the shared end after it, and stores the middle plain.
VersionSpec EncodeAroundExclusion(const std::string& from, const std::string& to, std::uint32_t offset,
                                  std::uint32_t length) {
  const std::uint64_t range_end = std::uint64_t{offset} + length;
  size_t prefix = 0;
  while (prefix < from.size() && prefix < to.size() && prefix < offset && from[prefix] == to[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < from.size() && suffix < to.size() && to.size() - suffix > prefix &&
         from.size() - suffix - 1 >= range_end && to.size() - suffix - 1 >= range_end &&
         from[from.size() - 1 - suffix] == to[to.size() - 1 - suffix]) {
    ++suffix;
  }
  DeltaParameters p{static_cast<std::uint32_t>(from.size()), static_cast<std::uint32_t>(to.size()), 0, 0, 255};
  std::vector<DeltaCommand> commands;
  if (prefix > 0) commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(prefix), 0));
  const size_t middle = to.size() - prefix - suffix;
  if (middle > 0) {
    const size_t chunks = InsertChunks(static_cast<std::uint32_t>(middle), p.insert_block_size).size();
    commands.push_back(DeltaCommand::Insert(to.substr(prefix, middle), std::vector<bool>(chunks, true)));
  }
  if (suffix > 0) {
    commands.push_back(DeltaCommand::Copy(static_cast<std::int32_t>(suffix),
                                          static_cast<std::int32_t>(from.size() - suffix - prefix)));
  }
  VersionSpec v;
  v.size = p.source_size;
  v.insert_block_size = p.insert_block_size;
  v.streams = WriteDeltaStreams(p, commands);
  return v;
}

bool Listed(const std::vector<std::string>& list, const std::string& file) {
  return std::find(list.begin(), list.end(), file) != list.end();
}

}  // namespace

std::vector<std::string> ListFiles(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

ContainerContent MakePatchContent(const MakeOptions& o) {
  if (o.old_trees.empty()) throw std::runtime_error("no old version given");
  if (o.old_trees.size() > kMaxVersions) throw std::runtime_error("more than 20 old versions");
  GroupWriter group(PatchName(o.backup_folder));
  if (!IsSafeBackupFolder(PatchName(o.backup_folder))) {
    throw std::runtime_error(o.backup_folder + ": not a backup folder name");
  }

  const std::vector<std::string> new_files = ListFiles(o.new_tree);
  for (size_t i = 0; i < new_files.size(); ++i) {
    const std::string& relative = new_files[i];
    if (o.progress) o.progress(relative, i, new_files.size());
    const std::string name = PatchName(relative);
    const std::string content = ReadAll(o.new_tree / relative);
    // The chain: each distinct old content, oldest first, then the new one.
    std::vector<std::string> versions;
    for (const fs::path& old_tree : o.old_trees) {
      if (!fs::is_regular_file(old_tree / relative)) continue;
      std::string old = ReadAll(old_tree / relative);
      if (std::find(versions.begin(), versions.end(), old) == versions.end()) versions.push_back(std::move(old));
    }
    versions.erase(std::remove(versions.begin(), versions.end(), content), versions.end());
    const std::uint32_t stamp = DosTime(o.new_tree / relative);
    if (versions.empty()) {
      // A new file, or one that every old version already has as it is now.
      bool everywhere = true;
      for (const fs::path& old_tree : o.old_trees) everywhere = everywhere && fs::is_regular_file(old_tree / relative);
      if (!everywhere) group.StoredFile(name, content, stamp);
      continue;
    }
    FileRecordSpec f;
    f.file_name = name;
    f.new_size = static_cast<std::uint32_t>(content.size());
    f.new_timestamp = stamp;
    if (Listed(o.optional_files, relative)) f.file_flags |= file_flags::kOptionalFile;
    if (Listed(o.quiet_optional_files, relative)) f.file_flags |= file_flags::kOptionalFile | file_flags::kQuietOptional;
    std::uint32_t exclude_offset = 0, exclude_length = 0;
    for (const MakeOptions::Exclusion& e : o.exclusions) {
      if (e.file != relative || e.length == 0) continue;
      f.file_flags |= file_flags::kExcludeRanges;
      exclude_offset = f.new_exclude_offset = e.offset;
      exclude_length = f.new_exclude_length = e.length;
    }
    f.new_crc = CrcOf(content, exclude_offset, exclude_length);
    for (size_t i = 0; i < versions.size(); ++i) {
      const std::string& next = i + 1 < versions.size() ? versions[i + 1] : content;
      VersionSpec v = exclude_length == 0 ? EncodeDelta(versions[i], next)
                                          : EncodeAroundExclusion(versions[i], next, exclude_offset, exclude_length);
      v.crc = CrcOf(versions[i], exclude_offset, exclude_length);
      v.exclude_offset = exclude_offset;
      v.exclude_length = exclude_length;
      f.versions.push_back(std::move(v));
    }
    group.File(f);
  }
  // Files that the new version no longer has.
  std::map<std::string, bool> removed;
  for (const fs::path& old_tree : o.old_trees) {
    for (const std::string& relative : ListFiles(old_tree)) {
      if (!std::binary_search(new_files.begin(), new_files.end(), relative)) removed[relative] = true;
    }
  }
  for (const auto& [relative, unused] : removed) group.RemoveFile(PatchName(relative));
  for (const RegistrySpec& r : o.registry) group.Registry(RegistryBlock(r));

  ContainerContent content;
  if (!Utf8ToBig5(o.description_utf8, &content.description)) {
    throw std::runtime_error("the description has a character that Big5 cannot hold");
  }
  if (content.description.size() > kMaxDescriptionLength) {
    throw std::runtime_error("the description has " + std::to_string(content.description.size()) +
                             " bytes in Big5; a patch holds at most 1002");
  }
  LocationSpec location{o.location};
  if (o.location == LocationKind::kRegistryPath) {
    location.root = o.install_path.root;
    location.sub_key = Big5Of(o.install_path.key, "the install path key");
    location.value_name = Big5Of(o.install_path.value, "the install path value name");
  }
  content.records = BuildRecords({{location, group}});
  return content;
}

}  // namespace ztx
