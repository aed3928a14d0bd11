// Proves a patch before it is handed out: the applier's own engine applies it to
// a copy of every old tree, and the result must be the new tree exactly.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "maker/patch_maker.h"
#include "platform/os_posix.h"
#include "platform/text_codec.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Collects the log as text, for the report when an apply fails.
class LogCollector : public UiHooks {
 public:
  void LogPutChar(char b) override { log += b == '\r' ? '\n' : b; }
  std::string log;
};

// What differs between the applied tree and the new one; empty when nothing.
std::string Compare(const fs::path& applied, const fs::path& new_tree, const std::string& backup_folder) {
  std::vector<std::string> got;
  for (const std::string& f : ListFiles(applied)) {
    if (f != backup_folder && f.rfind(backup_folder + "/", 0) != 0) got.push_back(f);
  }
  const std::vector<std::string> want = ListFiles(new_tree);
  if (got != want) return "the files are not those of the new tree";
  for (const std::string& f : want) {
    if (ReadFile(applied / f) != ReadFile(new_tree / f)) return f + " differs from the new version";
  }
  return "";
}

// A system on which the patch finds `target` where its location says: as the
// user's folder, the install path in the registry, or the Windows or system
// folder; and the registry keys and values its registry records expect.
void Prepare(PosixOs& os, const MakeOptions& o, const std::string& target) {
  os.SetWindowsFolder(target);
  os.SetSystemFolder(target);
  auto big5 = [](const std::string& utf8) {
    std::string out;
    Utf8ToBig5(utf8, &out);
    return out;
  };
  const RegistryName& p = o.install_path;
  os.registry().Put(p.root, big5(p.key), big5(p.value), 1, target + '\0');
  for (const RegistrySpec& r : o.registry) {
    os.registry().Put(r.check.root, big5(r.check.key), big5(r.check.value), 1, target + '\0');
    for (const RegistrySpec::Operation& op : r.operations) {
      if (op.open) os.registry().AddKey(op.key.root, big5(op.key.key));
    }
  }
}

}  // namespace

std::string VerifyPatch(const fs::path& patch, const MakeOptions& options) {
  std::string report;
  std::random_device rd;
  const fs::path work = fs::temp_directory_path() / ("ztx-verify-" + std::to_string(rd()));
  for (const fs::path& old_tree : options.old_trees) {
    fs::remove_all(work);
    fs::create_directories(work);
    fs::copy(old_tree, work, fs::copy_options::recursive);
    PosixOs os;
    os.SetDurable(false);  // the copy is thrown away
    Prepare(os, options, work.string());
    LogCollector ui;
    MessageId r = msg::kOk;
    {
      Session session(os, ui);
      session.names.program_path = patch.string();
      session.requested_target = work.string();
      r = OpenPatchContainer(session);
      if (r == msg::kOk) r = ApplyPatch(session);
    }
    std::string problem;
    if (r != msg::kOk) {
      problem = "the apply ended with message " + std::to_string(r) + ":\n" + Big5ToUtf8(ui.log);
    } else {
      problem = Compare(work, options.new_tree, options.backup_folder);
    }
    if (!problem.empty()) report += old_tree.string() + ": " + problem + "\n";
  }
  fs::remove_all(work);
  return report;
}

}  // namespace ztx
