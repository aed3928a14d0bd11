// Writes the seed corpus of every harness with the format writers:
//   fuzz_make_seeds OUTPUT_FOLDER
// makes OUTPUT_FOLDER/<target>/<n> for each target of fuzz/CMakeLists.txt.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "engine/delta_decoder.h"
#include "maker/container_writer.h"
#include "maker/delta_writer.h"
#include "maker/script_writer.h"
#include "platform/os.h"
#include "tests/support/patch_builder.h"

namespace ztx::fuzz {
namespace {

constexpr std::uint32_t kHkcu = root_key::kCurrentUser;
constexpr std::uint32_t kRegSz = 1;

const std::string kOldA = "old content of a file, version 1";
const std::string kMidA = "old content of a file, version 1.5";
const std::string kNewA = "new content of a file, version 2!";
const std::string kOldB = std::string("binary\0data\xff\x01 of version 1", 27);

std::string Registry() {
  return RegistryBlockWriter(kHkcu, "Software\\App", "Path")
      .OpenKey(kHkcu, "Software\\App\\Settings")
      .SetValue("Version", kRegSz, std::string("2.0") + '\0')
      .SetValue("Flags", 4, std::string("\x01\x00\x00\x00", 4))
      .Bytes();
}

// Record scripts: the location block and its groups.
std::vector<std::string> Scripts() {
  using testing::ChainRecord;
  std::vector<std::string> out;
  FileRecordSpec excluded = ChainRecord("a.txt", {kOldA}, kNewA, file_flags::kExcludeRanges);
  excluded.versions[0].exclude_offset = 4;
  excluded.versions[0].exclude_length = 3;
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("BACKUP").File(ChainRecord("a.txt", {kOldA}, kNewA))}}));
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("BACKUP")
                                                   .File(ChainRecord("a.txt", {kOldA, kMidA}, kNewA))
                                                   .File(ChainRecord("sub\\b.dat", {kOldB}, kNewA,
                                                                     file_flags::kOptionalFile))
                                                   .StoredFile("new\\c.txt", "stored content", 0x5A2B6000)
                                                   .RemoveFile("keep.txt")
                                                   .Registry(Registry())}}));
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("OLD\\V1").File(excluded)}}));
  LocationSpec registry_path{LocationKind::kRegistryPath, kHkcu, "Software\\App", "Path"};
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("BACKUP").StoredFile("x.txt", "x")},
                              {LocationSpec{LocationKind::kWindowsFolder}, GroupWriter("BACKUP").RemoveFile("w.ini")},
                              {LocationSpec{LocationKind::kSystemFolder}, GroupWriter("BAK").StoredFile("s.dll", "s")},
                              {registry_path, GroupWriter("BACKUP").Registry(Registry())}}));
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("BACKUP")}}));
  out.push_back(BuildRecords({{LocationSpec{}, GroupWriter("BACKUP")
                                                   .Registry(RegistryBlockWriter(kHkcu, "Software\\App", "Path")
                                                                 .BytesWithoutEnd())
                                                   .Raw(std::string(1, '\x04'))}}));
  return out;
}

std::string DeltaSeed(std::uint8_t mode, const DeltaParameters& p, const std::string& source,
                      const std::vector<DeltaCommand>& commands) {
  const auto streams = WriteDeltaStreams(p, commands);
  FieldWriter w;
  w.U8(mode).U32(p.output_size).U16(p.tail_length_period).U8(p.delta_flags).U8(p.insert_block_size);
  w.U16(static_cast<std::uint32_t>(source.size())).Bytes(source);
  for (const std::string& s : streams) w.U16(static_cast<std::uint32_t>(s.size())).Bytes(s);
  return w.bytes();
}

std::vector<std::string> DeltaSeeds() {
  std::vector<std::string> out;
  const std::string source = "The quick brown fox jumps over the lazy dog. 0123456789";
  const auto size = static_cast<std::uint32_t>(source.size());
  using C = DeltaCommand;
  // Copies with tails, inserts plain and added, a filler, an overlapping copy.
  out.push_back(DeltaSeed(0, {size, 80, 2, 0, 16}, source,
                          {C::Copy(10, 0, "ab"), C::Copy(5, 4, "cd"), C::Filler(),
                           C::Insert("inserted bytes, plain and added!", {true, false}),
                           C::Copy(12, size + 2, "ef"), C::Insert("xyz", {true})}));
  out.push_back(DeltaSeed(0, {size, 300, 1, delta_flags::kPlainTails, 7}, source,
                          {C::Copy(20, 5, "TAIL"), C::Insert(std::string(40, 'q'), {true, false, true, false, true}),
                           C::Copy(200, size, "WXYZ")}));
  out.push_back(DeltaSeed(0, {size, 70000, 0, delta_flags::kBoundCountsOutput, 255}, source,
                          {C::Copy(static_cast<std::int32_t>(size), 0, ""),
                           C::Copy(69900, static_cast<std::int32_t>(-0), "")}));
  out.push_back(DeltaSeed(0, {0, 16, 1, 0, 4}, "", {C::Insert("0123456789abcdef", {true, true, true, true})}));
  out.push_back(DeltaSeed(1, {size, 40, 1, 0, 16}, source, {C::Copy(30, 0, "")}));
  out.push_back(DeltaSeed(3, {size, 40, 1, 0, 16}, source, {C::Copy(30, 0, "")}));
  return out;
}

std::vector<std::string> NameSeeds() {
  std::vector<std::string> names = {
      "a.txt", "sub\\b.dat", "a\\.\\b\\..\\c", "..\\x", "a\\..\\..\\x", "C:\\x", "C:x", "\\\\server\\share\\x",
      "\\x", "/x", "CON", "nul.txt", "a\\COM1\\b", "a.", "a ", "..", ".", "PATCH0.TMP", "patch12.tmp\\x",
      "BACKUP", "\xB3\\\\x.txt", "\xA5\\\xBB\\\\y", "\x81\\..\\x", "a\\\\b", "a/b", "\\\\?\\C:\\x", "a*b"};
  std::vector<std::string> out;
  for (const std::string& n : names) out.push_back(std::string(1, '\0') + n);
  const std::string content = "some file content for the checksum, long enough to cut";
  for (std::uint8_t mode : {0x80, 0x81, 0x83, 0x87}) {
    for (std::uint32_t offset : {0u, 4u, 50u, 0xFFFFFFF0u}) {
      out.push_back(FieldWriter().U8(mode).U32(offset).U32(offset ? 8 : 0).Bytes(content).bytes());
    }
  }
  return out;
}

std::map<std::string, std::vector<std::string>> AllSeeds() {
  std::map<std::string, std::vector<std::string>> seeds;
  const std::vector<std::string> scripts = Scripts();
  for (const std::string& records : scripts) {
    for (bool compress : {true, false}) {
      ContainerContent c{"skipped", "a description\nsecond line", records, compress};
      const auto data = BuildPatchData(c);
      seeds["container"].emplace_back(data.begin(), data.end());
      const std::string script = BuildScript(c);
      const auto body = compress ? DeflateRaw(script) : std::vector<std::uint8_t>(script.begin(), script.end());
      seeds["extract"].push_back(std::string(1, compress ? '\1' : '\0') + std::string(body.begin(), body.end()));
    }
    seeds["records"].push_back(records);
    seeds["apply"].push_back(records);
  }
  const auto empty = BuildPatchData(ContainerContent{"", "", "", true});
  seeds["container"].emplace_back(empty.begin(), empty.end());
  seeds["delta"] = DeltaSeeds();
  seeds["names"] = NameSeeds();
  const std::string block = Registry();
  seeds["registry"] = {
      FieldWriter().U8(0).U16(0).Bytes(block).bytes(),
      FieldWriter().U8(1).U16(20).Bytes(block).bytes(),
      FieldWriter().U8(0).U16(0).Bytes(RegistryBlockWriter(kHkcu, "Software\\App", "Path")
                                             .Raw("\x07\x09")
                                             .SetValue("Early", kRegSz, "x")
                                             .OpenKey(root_key::kLocalMachine, "Software\\Other")
                                             .SetValue("Big", 3, std::string(1001, 'b'))
                                             .Bytes()).bytes(),
      FieldWriter().U8(0).U16(0).Bytes(RegistryBlockWriter(kHkcu, "Software\\Empty", "Path").Bytes()).bytes(),
  };
  return seeds;
}

}  // namespace
}  // namespace ztx::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds OUTPUT_FOLDER\n");
    return 1;
  }
  namespace fs = std::filesystem;
  for (const auto& [target, seeds] : ztx::fuzz::AllSeeds()) {
    const fs::path folder = fs::path(argv[1]) / target;
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (size_t i = 0; i < seeds.size(); ++i) ztx::fuzz::WriteFile(folder / ("seed" + std::to_string(i)), seeds[i]);
  }
  return 0;
}
