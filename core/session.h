// The state of one applier process: what the program knows about itself, its
// patch, and the record being worked on. Owned by the program's main routine and
// passed down to every pass, so that tests are independent of each other.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_layer.h"
#include "core/messages.h"
#include "core/patch_script.h"
#include "core/script_format.h"
#include "core/ui_hooks.h"

namespace ztx {

// The 78-byte header at the start of the appended patch data.
struct PatchHeader {
  static constexpr std::uint32_t kSize = 78;
  static constexpr std::uint8_t kBodyCompressed = 0x01;  // bit of header_flags

  std::array<std::uint8_t, kSize> bytes{};
  std::uint8_t header_flags = 0;              // offset 9
  std::uint16_t skipped_text_length = 0;      // offset 74
  std::uint16_t description_length = 0;       // offset 76
};

// One row per location entry: where its record group starts and the folder
// that its records apply to.
struct LocationRow {
  std::uint32_t group_position = 0;
  std::string folder;  // kept as obtained: relative or absolute, trailing '\' or not
};

struct LocationTable {
  std::array<LocationRow, kMaxLocations> rows;
  int last_row = -1;  // rows 0..last_row are filled
};

// What the commit pass did for one file record, so that a rollback undoes
// exactly that and never touches a copy an earlier apply left behind.
struct CommitRecord {
  bool moved_old = false;   // the old file went to the backup folder
  bool placed_new = false;  // the staged file went to the target path
};

struct Session {
  Session(Os& os, UiHooks& ui_hooks) : files(os), ui(ui_hooks), script(files) {}

  FileLayer files;
  UiHooks& ui;
  MessageNames names;  // program path, current file name, current target folder

  // Set by the container opener; the program's own file stays open to the end.
  ScopedFile container_file;
  std::uint32_t data_end = 0;  // where the patch data ends: the file's end, or a signature
  PatchHeader header;
  PatchScript script;
  std::uint32_t location_block_start = 0;
  std::string description;  // Big5, 0x01 for each line break

  // The folder the user named: command line, folder chooser or target box.
  std::string requested_target = ".";
  LocationTable locations;

  // The record passes.
  RecordState record;
  std::string backup_folder;  // of the group being walked
  std::array<std::string, kMaxLocations> staging_folders;  // per row; empty until made
  // Which of the two chain file names the next chain step writes; flips at
  // every step, for the whole run of the program.
  bool chain_file_toggle = false;

  // The file records (kinds 1 to 3) the commit pass has passed, in script order.
  std::vector<CommitRecord> committed;
};

}  // namespace ztx
