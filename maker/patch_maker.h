// The patch maker: compares old and new versions of a program folder and writes
// the records that bring any of the old versions to the new one.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "maker/container_writer.h"

namespace ztx {

struct MakeOptions {
  std::vector<std::filesystem::path> old_trees;  // oldest first
  std::filesystem::path new_tree;
  std::string description_utf8;
  std::string backup_folder = "BACKUP";
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
