// The patch maker: compares old and new versions of a program folder and writes
// the records that bring any of the old versions to the new one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "maker/container_writer.h"

namespace ztx {

struct MakeOptions {
  std::vector<std::filesystem::path> old_trees;  // oldest first
  std::filesystem::path new_tree;
  std::string description_utf8;
  std::string backup_folder = "BACKUP";
};

// The container content for the patch; throws std::runtime_error with a message
// a patch author can act on (a name Big5 cannot hold, a file too large...).
ContainerContent MakePatchContent(const MakeOptions& options);

// The relative paths of the files below `root`, with '/' separators, sorted.
std::vector<std::string> ListFiles(const std::filesystem::path& root);

}  // namespace ztx
