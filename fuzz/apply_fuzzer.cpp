// A whole apply of a fuzzed patch script on a fixed small tree. Everything the
// patch may reach (the user folder, the registry's install path, the Windows and
// system folders) lies inside root/app; root/sibling and root/outside.txt must
// stay exactly as they were, and no scratch file may outlive the run. When the
// apply fails (other than by handing the rest to Windows), every file of the
// tree must be back in its place with its old contents.
#include <cstdint>

#include "commit/apply_driver.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"

namespace ztx::fuzz {
namespace {

const std::map<std::string, std::string>& OldFiles() {
  static const std::map<std::string, std::string> files = {
      {"a.txt", "old content of a file, version 1"},
      {"sub/b.dat", std::string("binary\0data\xff\x01 of version 1", 27)},
      {"keep.txt", "a file no patch names"},
  };
  return files;
}

void MakeTree(const fs::path& root) {
  fs::remove_all(root);
  fs::create_directories(root / "app" / "sub");
  fs::create_directories(root / "app" / "win" / "system");
  fs::create_directories(root / "sibling" / "BACKUP");
  for (const auto& [name, content] : OldFiles()) WriteFile(root / "app" / name, content);
  WriteFile(root / "sibling" / "a.txt", "old content of a file, version 1");
  WriteFile(root / "sibling" / "BACKUP" / "a.txt", "a backup of the sibling");
  WriteFile(root / "outside.txt", "next to the target folder");
}

// The tree without the target folder.
std::map<std::string, std::string> Outside(const fs::path& root) {
  std::map<std::string, std::string> all = Snapshot(root), out;
  for (auto& [name, content] : all) {
    if (name != "app" && name.rfind("app/", 0) != 0) out[name] = content;
  }
  return out;
}

int Run(const std::uint8_t* data, size_t size) {
  const fs::path root = ScratchRoot() / "apply";
  MakeTree(root);
  static const auto before = Outside(root);  // the same fresh tree every time
  const std::string app = (root / "app").string();

  MessageId r = msg::kOk;
  {
    PosixOs os;
    os.SetDurable(false);  // a scratch tree: waiting for the disk would only slow the search
    os.SetWindowsFolder(app + "\\win");
    os.SetSystemFolder(app + "\\win\\system");
    os.registry().Put(root_key::kCurrentUser, "Software\\App", "Path", 1, app + "\\a.txt" + '\0');
    os.registry().AddKey(root_key::kCurrentUser, "Software\\App\\Settings");
    UiHooks ui;
    Session s(os, ui);
    s.script.Attach(s.files.CreateScratchFile());
    FUZZ_CHECK(s.files.WriteBytes(s.script.handle(), data, static_cast<std::uint32_t>(size)));
    s.location_block_start = 0;
    s.requested_target = app;
    r = ApplyPatch(s);
    for (const auto& [from, to] : os.delayed_moves()) {
      FUZZ_CHECK(from.rfind(app + "\\", 0) == 0);
      FUZZ_CHECK(to.empty() || to.rfind(app + "\\", 0) == 0);
    }
  }

  FUZZ_CHECK(Outside(root) == before);
  FUZZ_CHECK(fs::is_empty(ScratchRoot() / "tmp"));
  if (r != msg::kOk && r != msg::kFileInUse && r != msg::kRestartDeclined) {
    for (const auto& [name, content] : OldFiles()) FUZZ_CHECK(ReadFile(root / "app" / name) == content);
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
