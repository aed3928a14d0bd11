// ztx: the command-line tool for patch authors.
//
//   ztx make --old DIR [--old DIR ...] --new DIR [--applier EXE | --64] -o PATCH
//            [--description TEXT] [--backup-folder NAME] [--stored] [--no-verify]
//            [--location user|windows|system] [--optional FILE ...] [--manifest FILE.json]
//   ztx verify PATCH --old DIR [--old DIR ...] --new DIR [--manifest FILE.json]
//   ztx apply PATCH [--target DIR] [--restart]
//   ztx info PATCH
//   ztx pack --stub APPLIER [--description-file BIG5.TXT] [--records FILE]
//            [--stored] -o PATCH
//
// `apply` runs the applier's engine on a patch executable (or on the patch data
// alone) and prints the log in UTF-8. Its exit status is 0 after success and
// otherwise the number of the message that ended the apply (7 and 10: files in
// use, replaced at the next start of Windows).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "core/records.h"
#include "core/session.h"
#include "maker/container_writer.h"
#include "maker/manifest.h"
#include "maker/parallel_deflate.h"
#include "maker/patch_maker.h"
#include "platform/os.h"
#include "platform/text_codec.h"
#include "ui/console_ui.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: ztx make --old DIR [--old DIR ...] --new DIR [--applier EXE | --64] -o PATCH\n"
               "                [--description TEXT] [--backup-folder NAME] [--stored] [--no-verify]\n"
               "                [--location user|windows|system] [--optional FILE ...] [--manifest FILE.json]\n"
               "       ztx verify PATCH --old DIR [--old DIR ...] --new DIR [--manifest FILE.json]\n"
               "       ztx apply PATCH [--target DIR] [--restart]\n"
               "       ztx info PATCH\n"
               "       ztx pack --stub APPLIER [--description-file BIG5.TXT] [--records FILE]\n"
               "                [--stored] -o PATCH\n");
  return 2;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string ForConsole(std::string big5) {
  for (char& c : big5) {
    if (c == '\r' || c == '\x01') c = '\n';
  }
  return ztx::Big5ToUtf8(big5);
}

// Arguments as (flag, value) pairs; flags without a value get "".
struct Args {
  std::vector<std::pair<std::string, std::string>> flags;
  std::vector<std::string> positional;
  bool Parse(int argc, char** argv, const std::vector<std::string>& valued, const std::vector<std::string>& bare) {
    for (int i = 0; i < argc; ++i) {
      const std::string a = argv[i];
      if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
        if (i + 1 >= argc) return false;
        flags.emplace_back(a, argv[++i]);
      } else if (std::find(bare.begin(), bare.end(), a) != bare.end()) {
        flags.emplace_back(a, "");
      } else if (a.rfind("-", 0) == 0) {
        return false;
      } else {
        positional.push_back(a);
      }
    }
    return true;
  }
  std::string Get(const std::string& flag, const std::string& otherwise = "") const {
    for (const auto& [f, v] : flags) {
      if (f == flag) return v;
    }
    return otherwise;
  }
  bool Has(const std::string& flag) const {
    for (const auto& [f, v] : flags) {
      if (f == flag) return true;
    }
    return false;
  }
  std::vector<std::string> All(const std::string& flag) const {
    std::vector<std::string> out;
    for (const auto& [f, v] : flags) {
      if (f == flag) out.push_back(v);
    }
    return out;
  }
};

int WritePatch(const std::string& applier_path, const ztx::ContainerContent& content, const std::string& output,
               const ztx::RawCompressor& compress = ztx::DeflateRaw) {
  std::string applier;
  if (!ReadWholeFile(applier_path, &applier)) {
    std::fprintf(stderr, "ztx: cannot read the applier %s\n", applier_path.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> data = ztx::BuildPatchData(content, compress);
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(applier.data(), static_cast<std::streamsize>(applier.size()));
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "ztx: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("applier %zu bytes + patch data %zu bytes (script %zu bytes)\n", applier.size(), data.size(),
              ztx::BuildScript(content).size());
  return 0;
}

// Progress on standard error, only when a person watches it.
void ShowProgress(const std::string& file, size_t done, size_t total) {
  if (!isatty(2)) return;
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done + 1, total, file.c_str());
  if (done + 1 == total) std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

// The options that flags and a manifest give; false after a message.
bool ReadOptions(const Args& args, ztx::MakeOptions* options) {
  for (const std::string& old : args.All("--old")) options->old_trees.emplace_back(old);
  options->new_tree = args.Get("--new");
  if (args.Has("--manifest")) {
    std::string text;
    if (!ReadWholeFile(args.Get("--manifest"), &text)) {
      std::fprintf(stderr, "ztx: cannot read %s\n", args.Get("--manifest").c_str());
      return false;
    }
    try {
      ztx::ReadManifest(text, options);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ztx: %s: %s\n", args.Get("--manifest").c_str(), e.what());
      return false;
    }
  }
  options->description_utf8 = args.Get("--description", options->description_utf8);
  options->backup_folder = args.Get("--backup-folder", options->backup_folder);
  for (const std::string& f : args.All("--optional")) options->optional_files.push_back(f);
  const std::string location = args.Get("--location", "");
  if (location == "windows") options->location = ztx::LocationKind::kWindowsFolder;
  if (location == "system") options->location = ztx::LocationKind::kSystemFolder;
  if (location == "user") options->location = ztx::LocationKind::kUserFolder;
  if (!location.empty() && location != "windows" && location != "system" && location != "user") {
    std::fprintf(stderr, "ztx: --location is user, windows or system (a registry path goes in a manifest)\n");
    return false;
  }
  return true;
}

// The applier a patch is made from: the one given, or the 32-bit one (64-bit on
// request) next to this program or in the build tree beside it.
std::string FindApplier(const Args& args) {
  if (args.Has("--applier")) return args.Get("--applier");
  namespace fs = std::filesystem;
  const fs::path here = fs::path(ztx::MakeNativeOs()->ProgramPath()).parent_path();
  const char* build = args.Has("--64") ? "win64" : "win32";
  for (const fs::path& candidate :
       {here / (args.Has("--64") ? "ztxapply64.exe" : "ztxapply.exe"), here / ".." / build / "ztxapply.exe"}) {
    if (fs::is_regular_file(candidate)) return candidate.lexically_normal().string();
  }
  return "";
}

int Make(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv,
                  {"--old", "--new", "--applier", "-o", "--description", "--backup-folder", "--location",
                   "--optional", "--manifest"},
                  {"--stored", "--no-verify", "--64"}) ||
      !args.positional.empty() || args.All("--old").empty() || !args.Has("--new") || !args.Has("-o")) {
    return Usage();
  }
  const std::string applier = FindApplier(args);
  if (applier.empty()) {
    std::fprintf(stderr, "ztx: no applier found next to ztx; name one with --applier\n");
    return 1;
  }
  ztx::MakeOptions options;
  if (!ReadOptions(args, &options)) return 1;
  options.progress = ShowProgress;
  const std::string output = args.Get("-o");
  // The patch is written under another name and takes its own only once it has
  // been proved on every old tree: no patch that cannot be applied is left.
  const std::string unproved = output + ".unverified";
  try {
    ztx::ContainerContent content = ztx::MakePatchContent(options);
    content.compress = !args.Has("--stored");
    if (int r = WritePatch(applier, content, unproved, ztx::DeflateRawStrongest)) return r;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ztx: %s\n", e.what());
    return 1;
  }
  if (!args.Has("--no-verify")) {
    const std::string report = ztx::VerifyPatch(unproved, options);
    if (!report.empty()) {
      std::remove(unproved.c_str());
      std::fprintf(stderr, "ztx: the patch does not apply as it should:\n%s", report.c_str());
      return 1;
    }
    std::printf("verified on %zu old version(s)\n", options.old_trees.size());
  }
  if (std::rename(unproved.c_str(), output.c_str()) != 0) {
    std::fprintf(stderr, "ztx: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("wrote %s\n", output.c_str());
  return 0;
}

int Verify(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"--old", "--new", "--manifest"}, {}) || args.positional.size() != 1 ||
      args.All("--old").empty() || !args.Has("--new")) {
    return Usage();
  }
  ztx::MakeOptions options;
  if (!ReadOptions(args, &options)) return 1;
  const std::string report = ztx::VerifyPatch(args.positional[0], options);
  if (!report.empty()) {
    std::fprintf(stderr, "ztx: %s", report.c_str());
    return 1;
  }
  std::printf("%s turns each of the %zu old tree(s) into the new one\n", args.positional[0].c_str(),
              options.old_trees.size());
  return 0;
}

int Apply(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"--target"}, {"--restart"}) || args.positional.size() != 1) return Usage();
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::ConsoleUi ui(stdout, args.Has("--restart"));
  ztx::Session session(*os, ui);
  session.names.program_path = args.positional[0];
  session.requested_target = args.Get("--target", ".");
  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::fprintf(stderr, "ztx: %s\n", ForConsole(ztx::MessageText(r, session.names)).c_str());
    return r;
  }
  const ztx::MessageId r = ztx::ApplyPatch(session);
  if (r == ztx::msg::kOk) ztx::LogMessage(ztx::msg::kSuccess, session.names, ui);
  ui.Finish();
  return r;
}

const char* LocationName(std::uint8_t kind) {
  switch (static_cast<ztx::LocationKind>(kind)) {
    case ztx::LocationKind::kUserFolder: return "the folder the user names";
    case ztx::LocationKind::kRegistryPath: return "an install path from the registry";
    case ztx::LocationKind::kWindowsFolder: return "the Windows folder";
    case ztx::LocationKind::kSystemFolder: return "the system folder";
  }
  return "unknown";
}

// Every location entry and the records of its group, as the applier reads them.
bool PrintRecords(ztx::Session& s) {
  ztx::PatchScript& in = s.script;
  if (!in.SeekTo(s.location_block_start)) return false;
  for (int entry = 0; entry < ztx::kMaxLocations; ++entry) {
    std::uint8_t kind = 0, flags = 0;
    if (!in.ReadU8(&kind) || !in.ReadU8(&flags)) return false;
    std::printf("location %d: %s", entry, LocationName(kind));
    if (kind == static_cast<std::uint8_t>(ztx::LocationKind::kRegistryPath)) {
      std::uint32_t root = 0;
      std::string key, value;
      if (!in.ReadU32(&root) || !in.ReadString(&key) || !in.ReadString(&value)) return false;
      std::printf(" (root 0x%08X, key %s, value \"%s\")", root, ForConsole(key).c_str(), ForConsole(value).c_str());
    }
    std::string backup;
    if (!in.ReadString(&backup)) return false;
    std::printf("\n  backup folder: %s\n", ForConsole(backup).c_str());
    for (;;) {
      if (!ztx::ReadRecord(s)) return false;
      const ztx::RecordState& r = s.record;
      const std::string name = ForConsole(r.file_name);
      switch (r.kind) {
        case ztx::RecordKind::kGroupEnd: break;
        case ztx::RecordKind::kFile:
          std::printf("  file %s: new %u bytes, CRC %08X, flags %u, %u version(s)\n", name.c_str(), r.file.new_size,
                      r.file.new_crc, r.file.file_flags, r.file.version_count);
          for (int v = 0; v < r.file.version_count; ++v) {
            const ztx::VersionEntry& e = r.versions[v];
            const auto& l = e.version.stream_lengths;
            std::printf("    from %s: %u bytes, CRC %08X; streams %u+%u+%u+%u+%u bytes; period %u, flags %u, block %u\n",
                        ForConsole(e.source_name).c_str(), e.version.size, e.version.crc, l[0], l[1], l[2], l[3],
                        l[4], e.version.tail_length_period, e.version.delta_flags, e.version.insert_block_size);
          }
          break;
        case ztx::RecordKind::kStoredFile:
          std::printf("  stored file %s: %u bytes\n", name.c_str(), r.data_size);
          break;
        case ztx::RecordKind::kRemoveFile:
          std::printf("  remove %s\n", name.c_str());
          break;
        case ztx::RecordKind::kRegistry:
          std::printf("  registry block of %u bytes\n", r.block_length);
          break;
      }
      if (r.kind == ztx::RecordKind::kGroupEnd) break;
    }
    if (!(flags & ztx::kMoreEntries)) return true;
  }
  return false;
}

int Info(const std::string& patch) {
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::UiHooks no_window;
  ztx::Session session(*os, no_window);
  session.names.program_path = patch;
  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::fprintf(stderr, "ztx: %s (message %d)\n", ForConsole(ztx::MessageText(r, session.names)).c_str(), r);
    return 1;
  }
  const ztx::PatchHeader& h = session.header;
  std::printf("patch:        %s\n", patch.c_str());
  std::printf("body:         %s\n",
              (h.header_flags & ztx::PatchHeader::kBodyCompressed) ? "raw DEFLATE" : "stored");
  std::printf("script size:  %u bytes\n", session.files.FileSize(session.script.handle()));
  std::printf("records from: byte %u\n", session.location_block_start);
  std::printf("description:\n%s\n", ForConsole(session.description).c_str());
  if (!PrintRecords(session)) {
    std::fprintf(stderr, "ztx: the records cannot be read whole: the patch is damaged\n");
    return 1;
  }
  return 0;
}

int Pack(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"--stub", "-o", "--description-file", "--records"}, {"--stored"}) ||
      !args.positional.empty() || !args.Has("--stub") || !args.Has("-o")) {
    return Usage();
  }
  ztx::ContainerContent content;
  content.compress = !args.Has("--stored");
  for (const auto& [flag, field] : {std::pair{"--description-file", &content.description},
                                    std::pair{"--records", &content.records}}) {
    if (args.Has(flag) && !ReadWholeFile(args.Get(flag), field)) {
      std::fprintf(stderr, "ztx: cannot read %s\n", args.Get(flag).c_str());
      return 1;
    }
  }
  if (content.description.size() > ztx::kMaxDescriptionLength) {
    std::fprintf(stderr, "ztx: the description has %zu bytes; a patch holds at most %u\n",
                 content.description.size(), ztx::kMaxDescriptionLength);
    return 1;
  }
  if (int r = WritePatch(args.Get("--stub"), content, args.Get("-o"))) return r;
  std::printf("wrote %s\n", args.Get("-o").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "make") return Make(argc - 2, argv + 2);
  if (command == "apply") return Apply(argc - 2, argv + 2);
  if (command == "verify") return Verify(argc - 2, argv + 2);
  if (command == "info" && argc == 3) return Info(argv[2]);
  if (command == "pack") return Pack(argc - 2, argv + 2);
  return Usage();
}
