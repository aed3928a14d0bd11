// ztx: the command-line tool for patch authors.
//
//   ztx make --old DIR [--old DIR ...] --new DIR --applier EXE -o PATCH
//            [--description TEXT] [--backup-folder NAME] [--stored]
//   ztx apply PATCH [--target DIR] [--restart]
//   ztx info PATCH
//   ztx pack --stub APPLIER [--description-file BIG5.TXT] [--records FILE]
//            [--stored] -o PATCH
//
// `apply` runs the applier's engine on a patch executable (or on the patch data
// alone) and prints the log in UTF-8. Its exit status is 0 after success and
// otherwise the number of the message that ended the apply (7 and 10: files in
// use, replaced at the next start of Windows).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "core/session.h"
#include "maker/container_writer.h"
#include "maker/delta_encoder.h"
#include "maker/patch_maker.h"
#include "platform/os.h"
#include "platform/text_codec.h"
#include "ui/console_ui.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: ztx make --old DIR [--old DIR ...] --new DIR --applier EXE -o PATCH\n"
               "                [--description TEXT] [--backup-folder NAME] [--stored]\n"
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
  std::printf("wrote %s: applier %zu bytes + patch data %zu bytes (script %zu bytes)\n", output.c_str(),
              applier.size(), data.size(), ztx::BuildScript(content).size());
  return 0;
}

int Make(int argc, char** argv) {
  Args args;
  if (!args.Parse(argc, argv, {"--old", "--new", "--applier", "-o", "--description", "--backup-folder"},
                  {"--stored"}) ||
      !args.positional.empty() || args.All("--old").empty() || !args.Has("--new") || !args.Has("-o") ||
      !args.Has("--applier")) {
    return Usage();
  }
  ztx::MakeOptions options;
  for (const std::string& old : args.All("--old")) options.old_trees.emplace_back(old);
  options.new_tree = args.Get("--new");
  options.description_utf8 = args.Get("--description");
  options.backup_folder = args.Get("--backup-folder", options.backup_folder);
  try {
    ztx::ContainerContent content = ztx::MakePatchContent(options);
    content.compress = !args.Has("--stored");
    return WritePatch(args.Get("--applier"), content, args.Get("-o"), ztx::DeflateRawStrongest);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ztx: %s\n", e.what());
    return 1;
  }
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
  return WritePatch(args.Get("--stub"), content, args.Get("-o"));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "make") return Make(argc - 2, argv + 2);
  if (command == "apply") return Apply(argc - 2, argv + 2);
  if (command == "info" && argc == 3) return Info(argv[2]);
  if (command == "pack") return Pack(argc - 2, argv + 2);
  return Usage();
}
