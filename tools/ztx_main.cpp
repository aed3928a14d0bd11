// ztx: the command-line tool for patch authors.
//
//   ztx info PATCH                 what the patch container holds
//   ztx pack --stub APPLIER [--description-file BIG5.TXT] [--records FILE]
//            [--stored] -o PATCH   appends patch data to an applier
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/container.h"
#include "core/session.h"
#include "maker/container_writer.h"
#include "platform/os.h"
#include "platform/text_codec.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: ztx info PATCH\n"
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

int Info(const std::string& patch) {
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::UiHooks no_window;
  ztx::Session session(*os, no_window);
  session.names.program_path = patch;
  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::fprintf(stderr, "ztx: %s (message %d)\n",
                 ForConsole(ztx::MessageText(r, session.names)).c_str(), r);
    return 1;
  }
  const ztx::PatchHeader& h = session.header;
  std::printf("patch:        %s\n", patch.c_str());
  std::printf("body:         %s\n", (h.header_flags & ztx::PatchHeader::kBodyCompressed)
                                        ? "raw DEFLATE" : "stored");
  std::printf("script size:  %u bytes\n", session.files.FileSize(session.script.handle()));
  std::printf("records from: byte %u\n", session.location_block_start);
  std::printf("description:\n%s\n", ForConsole(session.description).c_str());
  return 0;
}

int Pack(int argc, char** argv) {
  std::string stub_path, output, description_path, records_path;
  bool stored = false;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--stub" && has_value) stub_path = argv[++i];
    else if (a == "-o" && has_value) output = argv[++i];
    else if (a == "--description-file" && has_value) description_path = argv[++i];
    else if (a == "--records" && has_value) records_path = argv[++i];
    else if (a == "--stored") stored = true;
    else return Usage();
  }
  if (stub_path.empty() || output.empty()) return Usage();

  std::string stub;
  ztx::ContainerContent content;
  content.compress = !stored;
  if (!ReadWholeFile(stub_path, &stub)) {
    std::fprintf(stderr, "ztx: cannot read the applier %s\n", stub_path.c_str());
    return 1;
  }
  if (!description_path.empty() && !ReadWholeFile(description_path, &content.description)) {
    std::fprintf(stderr, "ztx: cannot read %s\n", description_path.c_str());
    return 1;
  }
  if (!records_path.empty() && !ReadWholeFile(records_path, &content.records)) {
    std::fprintf(stderr, "ztx: cannot read %s\n", records_path.c_str());
    return 1;
  }
  if (content.description.size() > ztx::kMaxDescriptionLength) {
    std::fprintf(stderr, "ztx: the description has %zu bytes; a patch holds at most %u\n",
                 content.description.size(), ztx::kMaxDescriptionLength);
    return 1;
  }
  const std::vector<std::uint8_t> data = ztx::BuildPatchData(content);
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(stub.data(), static_cast<std::streamsize>(stub.size()));
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "ztx: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("wrote %s: applier %zu bytes + patch data %zu bytes\n", output.c_str(), stub.size(),
              data.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "info") == 0 && argc == 3) return Info(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "pack") == 0) return Pack(argc - 2, argv + 2);
  return Usage();
}
