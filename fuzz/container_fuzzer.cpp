// The container opener on a small stand-in program with the input appended as
// its patch data: trailer, header, stored or DEFLATE body, text blocks. Every
// input ends with one of the opener's results; a success leaves the script
// positioned at the location block, behind exactly the two text blocks.
#include <cstdint>

#include "core/container.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"

namespace ztx::fuzz {
namespace {

class DescriptionUi : public UiHooks {
 public:
  void ShowDescription(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

int Run(const std::uint8_t* data, size_t size) {
  static const std::string kProgram = "MZ" + std::string(62, '\x90');
  const fs::path path = ScratchRoot() / "patch.exe";
  WriteFile(path, kProgram + std::string(reinterpret_cast<const char*>(data), size));

  PosixOs os;
  DescriptionUi ui;
  Session s(os, ui);
  s.names.program_path = path.string();
  const MessageId r = OpenPatchContainer(s);
  FUZZ_CHECK(r == msg::kOk || r == msg::kNotAPatch || r == msg::kPatchDamaged ||
             r == msg::kNoPatchInside || r == msg::kScratchFull);
  if (r != msg::kOk) return 0;

  const PatchHeader& h = s.header;
  FUZZ_CHECK(s.location_block_start == std::uint32_t{h.skipped_text_length} + h.description_length);
  FUZZ_CHECK(s.script.Position() == s.location_block_start);
  FUZZ_CHECK(s.script.Size() >= s.location_block_start);
  FUZZ_CHECK(s.description.size() == h.description_length);
  FUZZ_CHECK(s.description.size() <= kMaxDescriptionLength);
  FUZZ_CHECK(s.description.find('\0') == std::string::npos);
  FUZZ_CHECK(ui.shown.size() == (s.description.empty() ? 0u : 1u));
  // A stored body is the script itself: everything between header and trailer.
  if (!(h.header_flags & PatchHeader::kBodyCompressed)) {
    const std::string file = ReadFile(path);
    const auto* t = reinterpret_cast<const std::uint8_t*>(file.data() + file.size() - kTrailerSize);
    const std::uint32_t data_length = t[0] | t[1] << 8 | t[2] << 16 | std::uint32_t{t[3]} << 24;
    FUZZ_CHECK(s.script.Size() == data_length - kMinDataLength);
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
