// The patch maker: compares old and new versions of a program folder and writes
// the records that bring any of the old versions to the new one.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "maker/container_writer.h"
#include "maker/script_writer.h"

namespace ztx {

// A registry key as the author names it (UTF-8).
struct RegistryName {
  std::uint32_t root = 0;  // a predefined root, e.g. 0x80000002 for HKEY_LOCAL_MACHINE
  std::string key;
  std::string value;
};

// One registry record: the install-path check, then keys opened and values set.
struct RegistrySpec {
  RegistryName check;
  struct Operation {
    bool open = false;      // open `key` (root, key) for the values that follow
    RegistryName key;       // for an open; `value` names the value of a set
    std::uint32_t type = 0; // for a set: REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4...
    std::string data;       // for a set: the bytes as written
  };
  std::vector<Operation> operations;
};

struct MakeOptions {
  std::vector<std::filesystem::path> old_trees;  // oldest first
  std::filesystem::path new_tree;
  std::string description_utf8;
  std::string backup_folder = "BACKUP";
  // Where the patch applies: the user's folder by default, an install path from
  // the registry (`install_path`), the Windows folder or the system folder.
  LocationKind location = LocationKind::kUserFolder;
  RegistryName install_path;
  // Files (relative paths with '/') whose absence is a warning, or nothing at
  // all when quiet, instead of an error.
  std::vector<std::string> optional_files, quiet_optional_files;
  // Byte ranges that the CRCs of a file leave out, in every version of it.
  struct Exclusion {
    std::string file;
    std::uint32_t offset = 0, length = 0;
  };
  std::vector<Exclusion> exclusions;
  std::vector<RegistrySpec> registry;
  // Told before each file of the new tree: its name, how many came before, how many in all.
  std::function<void(const std::string& file, size_t done, size_t total)> progress;
};

// The container content for the patch; throws std::runtime_error with a message
// a patch author can act on (a name Big5 cannot hold, a file too large...).
ContainerContent MakePatchContent(const MakeOptions& options);

// The relative paths of the files below `root`, with '/' separators, sorted.
std::vector<std::string> ListFiles(const std::filesystem::path& root);

// Applies the patch executable with the applier's engine to a temporary copy of
// each old tree and compares the result with the new tree, byte for byte (the
// backup folder left aside). Empty when every old tree gives the new one;
// otherwise what went wrong, one line per old tree.
std::string VerifyPatch(const std::filesystem::path& patch, const MakeOptions& options);

}  // namespace ztx
