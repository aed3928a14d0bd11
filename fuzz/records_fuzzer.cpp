// The location pass and the record walk. The input is a patch script from the
// location block on. Every pass over it must see the same records, whatever
// its handler does with the script position in between: a BlockLength,
// DataSize or stream length that let one pass read a record boundary where
// another does not would make the staging pass check one file and the commit
// pass move another. The check that runs before any pass (CheckRecordGroups)
// must agree with the passes on whether the groups can be read.
#include <cstdint>
#include <sstream>

#include "commit/location.h"
#include "core/records.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"

namespace ztx::fuzz {
namespace {

// What a handler sees of one record, as one line.
std::string Describe(const Session& s, int group, RecordKind kind) {
  const RecordState& r = s.record;
  std::ostringstream out;
  out << group << ' ' << int(kind) << ' ' << r.file_name << ' ' << r.end_offset << ' '
      << s.backup_folder << ' ' << s.names.current_target_folder;
  if (kind == RecordKind::kFile) {
    out << ' ' << r.file.version_count << ' ' << r.file.new_size;
    for (int v = 0; v < r.file.version_count; ++v) {
      out << ' ' << r.versions[v].source_name << '@' << r.versions[v].streams_offset;
    }
  } else if (kind == RecordKind::kStoredFile) {
    out << ' ' << r.data_offset << '+' << r.data_size;
  } else if (kind == RecordKind::kRegistry) {
    out << ' ' << r.block_offset << '+' << r.block_length;
  }
  return out.str();
}

// How a handler leaves the script position behind.
enum class Disturb { kNone, kRewind, kReadPayload };

struct Pass {
  std::vector<std::string> seen;
  MessageId result = msg::kOk;
};

Pass Walk(Session& s, bool stop_at_error, Disturb disturb) {
  Pass pass;
  pass.result = ForEachRecord(
      s,
      [&](int group, RecordKind kind) {
        pass.seen.push_back(Describe(s, group, kind));
        std::uint8_t buffer[16];
        switch (disturb) {
          case Disturb::kNone: break;
          case Disturb::kRewind: s.script.SeekTo(0); break;
          case Disturb::kReadPayload:
            // Part of the payload, as a handler that stops early would.
            s.script.SeekTo(kind == RecordKind::kRegistry ? s.record.block_offset : s.record.data_offset);
            s.script.Read(buffer, sizeof buffer);
            break;
        }
        return msg::kOk;
      },
      stop_at_error);
  return pass;
}

int Run(const std::uint8_t* data, size_t size) {
  const fs::path root = ScratchRoot() / "records";
  fs::remove_all(root);
  fs::create_directories(root / "app");
  fs::create_directories(root / "win" / "system");

  PosixOs os;
  os.SetWindowsFolder((root / "win").string());
  os.SetSystemFolder((root / "win" / "system").string());
  os.registry().Put(root_key::kCurrentUser, "Software\\App", "Path", 1, (root / "app").string() + '\0');
  UiHooks ui;
  Session s(os, ui);
  s.script.Attach(s.files.CreateScratchFile());
  FUZZ_CHECK(s.files.WriteBytes(s.script.handle(), data, static_cast<std::uint32_t>(size)));
  s.location_block_start = 0;
  s.requested_target = (root / "app").string();

  const MessageId located = RunLocationPass(s);
  FUZZ_CHECK(located == msg::kOk || located == msg::kPatchDamaged || located == msg::kBadStructure ||
             located == msg::kInstallPathMissing);
  if (located != msg::kOk) return 0;
  FUZZ_CHECK(s.locations.last_row >= 0 && s.locations.last_row < kMaxLocations);

  const MessageId checked = CheckRecordGroups(s);
  FUZZ_CHECK(checked == msg::kOk || checked == msg::kPatchDamaged || checked == msg::kBadStructure);
  const Pass first = Walk(s, true, Disturb::kNone);
  const Pass second = Walk(s, false, Disturb::kRewind);
  const Pass third = Walk(s, true, Disturb::kReadPayload);

  // Passes that stop at the first error see the same records and end the same way.
  FUZZ_CHECK(first.seen == third.seen);
  FUZZ_CHECK(first.result == third.result);
  // A pass that goes on after an error sees at least what a stopping one sees.
  FUZZ_CHECK(second.seen.size() >= first.seen.size());
  FUZZ_CHECK(std::equal(first.seen.begin(), first.seen.end(), second.seen.begin()));
  if (checked == msg::kOk) {
    // Staging folders aside (they are made on the disk), readable groups walk cleanly.
    FUZZ_CHECK(first.result == msg::kOk || first.result == msg::kStagingFolderFailed);
    if (first.result == msg::kOk) FUZZ_CHECK(first.seen == second.seen && second.result == msg::kOk);
  } else {
    FUZZ_CHECK(first.result != msg::kOk && second.result != msg::kOk);
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
