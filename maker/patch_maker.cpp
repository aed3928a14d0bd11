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
#include "engine/crc32.h"
#include "maker/delta_encoder.h"
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

std::uint32_t CrcOf(const std::string& bytes) {
  return Crc32Update(kCrcInitial, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
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
    f.new_crc = CrcOf(content);
    f.new_size = static_cast<std::uint32_t>(content.size());
    f.new_timestamp = stamp;
    for (size_t i = 0; i < versions.size(); ++i) {
      f.versions.push_back(EncodeDelta(versions[i], i + 1 < versions.size() ? versions[i + 1] : content));
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

  ContainerContent content;
  if (!Utf8ToBig5(o.description_utf8, &content.description)) {
    throw std::runtime_error("the description has a character that Big5 cannot hold");
  }
  if (content.description.size() > kMaxDescriptionLength) {
    throw std::runtime_error("the description has " + std::to_string(content.description.size()) +
                             " bytes in Big5; a patch holds at most 1002");
  }
  content.records = BuildRecords({{LocationSpec{}, group}});
  return content;
}

}  // namespace ztx
