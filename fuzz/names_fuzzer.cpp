// The name checks of core/names.h and FileCrc with an exclusion range.
//
// Names: a name the checks accept, joined to a folder and resolved the way the
// POSIX backend hands it to the file system (Big5 to UTF-8, '\' to '/'), ends
// strictly below that folder; it has no rooted, drive, network or device form;
// a safe backup folder is a safe name that is no staging folder. FileCrc: the
// register over the file with the range left out, against a slow bit-by-bit
// CRC over the bytes kept (a range that would wrap past 4 GiB keeps nothing
// behind it).
//
// Input: u8 mode; mode below 0x80: the rest is a name. Otherwise u32 exclude
// offset, u32 exclude length, then the file's bytes; mode bits 0 and 1 bring
// offset and length near the file's size.
#include <cstdint>

#include "core/names.h"
#include "core/crc32.h"
#include "fuzz/fuzz_support.h"
#include "platform/big5.h"
#include "platform/os_posix.h"
#include "platform/text_codec.h"

namespace ztx::fuzz {
namespace {

void CheckName(const std::string& name) {
  const bool safe = IsSafeRelativeName(name);
  const bool backup = IsSafeBackupFolder(name);
  IsStagingFolderName(name);
  if (backup) FUZZ_CHECK(safe);
  if (!safe) return;

  FUZZ_CHECK(!name.empty() && name[0] != '\\' && name[0] != '/');
  PathScanner scanner;
  for (char c : name) {
    if (scanner.InCharacter(c)) continue;
    FUZZ_CHECK(c != ':' && static_cast<unsigned char>(c) >= 0x20);
  }
  const std::vector<std::string> elements = NormalizedElements(name);
  FUZZ_CHECK(!elements.empty());
  for (const std::string& e : elements) FUZZ_CHECK(!e.empty() && e != "." && e != "..");
  if (backup) FUZZ_CHECK(!IsStagingFolderName(elements.front()));

  // Where the file system would put it.
  const std::string base = "/base/target";
  std::string native = Big5ToUtf8(name);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  const std::string resolved = (fs::path(base) / native).lexically_normal().string();
  FUZZ_CHECK(resolved.rfind(base + "/", 0) == 0 && resolved.size() > base.size() + 1);
}

std::uint32_t SlowCrc(const std::string& bytes) {
  std::uint32_t reg = 0xFFFFFFFF;
  for (unsigned char b : bytes) {
    reg ^= b;
    for (int i = 0; i < 8; ++i) reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return reg;
}

void CheckFileCrc(std::uint8_t mode, Cursor& in) {
  std::uint32_t offset = in.U32(), length = in.U32();
  const std::string content = in.Rest();
  const auto size = static_cast<std::uint32_t>(content.size());
  if (mode & 1) offset = offset % (size + 3);
  if (mode & 2) length = (mode & 4) ? 0u - (length % (size + 3)) : length % (size + 3);

  const fs::path path = ScratchRoot() / "crc";
  WriteFile(path, content);
  PosixOs os;
  FileLayer files(os);
  const FileHandle file = files.OpenForRead(path.string());
  FUZZ_CHECK(file != kNullHandle);
  const std::uint32_t got = FileCrc(files, file, offset, length);
  files.Close(file);

  std::string kept = content;
  if (length != 0) {
    const std::uint64_t resume = std::uint64_t{offset} + length;
    kept = content.substr(0, std::min<std::uint64_t>(offset, size));
    if (resume < size) kept += content.substr(resume);
  }
  FUZZ_CHECK(got == SlowCrc(kept));
}

int Run(const std::uint8_t* data, size_t size) {
  Cursor in(data, size);
  const std::uint8_t mode = in.U8();
  if (mode < 0x80) {
    CheckName(in.Rest());
  } else {
    CheckFileCrc(mode, in);
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
