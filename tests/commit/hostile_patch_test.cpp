// Damaged and hostile patches, one table: each ends with its message, leaves the
// target tree exactly as it was, and touches nothing beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "maker/container_writer.h"
#include "maker/delta_writer.h"
#include "platform/os_posix.h"
#include "tests/support/faulty_os.h"
#include "tests/support/patch_builder.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

const std::string kApp = "the program as it is on disk, version one";
constexpr std::uint32_t kHkcu = root_key::kCurrentUser;

// A FileRecord whose one version is the app.exe on disk, with the given delta.
FileRecordSpec AppRecord(const std::array<std::string, kStreamCount>& streams, std::uint8_t block = 16,
                         std::uint8_t flags = 0, std::uint32_t new_size = 100) {
  FileRecordSpec f;
  f.file_name = "app.exe";
  f.new_size = new_size;
  VersionSpec v;
  v.crc = testing::CrcOf(kApp);
  v.size = static_cast<std::uint32_t>(kApp.size());
  v.insert_block_size = block;
  v.delta_flags = flags;
  v.tail_length_period = 1;
  v.streams = streams;
  f.versions = {v};
  return f;
}

std::string Hex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 3) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Records(const GroupWriter& g) { return BuildRecords({{LocationSpec{}, g}}); }

std::string FileRecordHeader(std::uint16_t version_count) {
  ByteWriter w;
  w.U8(1).U32(0).U32(0).U32(0).U16(0).U16(version_count).U8(0).U8(0).String("app.exe");
  return w.bytes();
}

std::string RegistryRecords(const std::string& block) {
  return Records(GroupWriter("BACKUP").Registry(block));
}

RegistryBlockWriter Check() { return RegistryBlockWriter(kHkcu, "Software\\App", "Path"); }

struct Hostile {
  const char* name;
  // The whole appended data (header, body, trailer) of the patch.
  std::function<std::string()> data;
  MessageId expected;
};

void PrintTo(const Hostile& c, std::ostream* os) { *os << c.name; }

std::string Data(const ContainerContent& c) {
  const auto bytes = BuildPatchData(c);
  return std::string(bytes.begin(), bytes.end());
}

std::string DataOf(const std::string& records) {
  ContainerContent c;
  c.records = records;
  return Data(c);
}

std::string WithDataLength(std::string data, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) data[data.size() - 8 + i] = static_cast<char>(v >> (8 * i));
  return data;
}

class HostilePatchTest : public ::testing::TestWithParam<Hostile> {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "app" / "data");
    fs::create_directories(dir_.path() / "sibling");
    dir_.Write("app/app.exe", kApp);
    dir_.Write("app/data/table.dat", "a table");
    dir_.Write("sibling/keep.txt", "not to be touched");
    os_.registry().Put(kHkcu, "Software\\App", "Path", 1, std::string("C:\\App") + '\0');
    os_.registry().AddKey(kHkcu, "Software\\App\\Settings");
    os_.registry().Put(kHkcu, "Software\\Long", "", 1, std::string(1023, 'a'));
  }
  // A patch program with `data` behind its stub, and a session of it, through
  // `os`, whose target is the app folder.
  std::unique_ptr<Session> PatchSession(Os& os, const std::string& data) {
    dir_.Write("patch.exe", "MZ stub" + data);
    auto session = std::make_unique<Session>(os, no_window_);
    session->names.program_path = dir_ / "patch.exe";
    session->requested_target = dir_ / "app";
    return session;
  }
  PosixOs os_;
  UiHooks no_window_;
  testing::TempFolder dir_;
};

TEST_P(HostilePatchTest, EndsWithItsMessageAndChangesNothing) {
  const auto before = testing::Snapshot(dir_.path());
  const auto session = PatchSession(os_, GetParam().data());
  MessageId r = OpenPatchContainer(*session);
  if (r == msg::kOk) r = ApplyPatch(*session);
  EXPECT_EQ(r, GetParam().expected);
  auto after = testing::Snapshot(dir_.path());
  after.erase("patch.exe");
  EXPECT_EQ(after, before);
  EXPECT_EQ(os_.registry().Get(kHkcu, "Software\\App\\Settings", "V"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostilePatchTest,
    ::testing::Values(
        Hostile{"data_length_0", [] { return WithDataLength(DataOf(Records(GroupWriter("B"))), 0); }, msg::kNotAPatch},
        Hostile{"data_length_40", [] { return WithDataLength(DataOf(Records(GroupWriter("B"))), 40); }, msg::kNotAPatch},
        Hostile{"data_length_max", [] { return WithDataLength(DataOf(Records(GroupWriter("B"))), 0xFFFFFFFF); },
                msg::kNotAPatch},
        Hostile{"corrupt_deflate",
                [] {
                  std::string d = DataOf(Records(GroupWriter("BACKUP").StoredFile("x", std::string(5000, 'x'))));
                  d[PatchHeader::kSize] ^= 0x55;
                  return d;
                },
                msg::kPatchDamaged},
        Hostile{"truncated_deflate",
                [] {
                  std::string d = DataOf(Records(GroupWriter("BACKUP").StoredFile("x", std::string(5000, 'x'))));
                  d.erase(PatchHeader::kSize + 10, d.size() - PatchHeader::kSize - 18);
                  return WithDataLength(d, static_cast<std::uint32_t>(d.size()));
                },
                msg::kPatchDamaged},
        Hostile{"description_length_65535",
                [] {
                  std::string d = DataOf(Records(GroupWriter("B")));
                  d[76] = d[77] = '\xFF';
                  d[kFieldCopyOffset + 3] = d[kFieldCopyOffset + 4] = '\xFF';  // and the copy the maker keeps
                  return d;
                },
                msg::kNoPatchInside},
        Hostile{"21_location_entries",
                [] {
                  ByteWriter w;
                  for (int i = 0; i < 21; ++i) w.U8(0).U8(kMoreEntries).String("BACKUP").U8(0);
                  return DataOf(w.bytes());
                },
                msg::kPatchDamaged},
        Hostile{"install_path_of_1023_bytes",
                [] {
                  // The fixture's value under Software\Long: 1023 bytes of one name,
                  // which no file system takes as a folder.
                  return DataOf(BuildRecords({{LocationSpec{LocationKind::kRegistryPath, kHkcu, "Software\\Long", ""},
                                               GroupWriter("BACKUP").StoredFile("x", "y")}}));
                },
                msg::kStagingFolderFailed},
        Hostile{"record_kind_4", [] { return DataOf(Records(GroupWriter("BACKUP").Raw("\x04"))); }, msg::kBadStructure},
        Hostile{"record_kind_255", [] { return DataOf(Records(GroupWriter("BACKUP").Raw("\xFF"))); },
                msg::kBadStructure},
        Hostile{"version_count_21", [] { return DataOf(Records(GroupWriter("BACKUP").Raw(FileRecordHeader(21)))); },
                msg::kBadStructure},
        Hostile{"version_count_65535",
                [] { return DataOf(Records(GroupWriter("BACKUP").Raw(FileRecordHeader(65535)))); }, msg::kBadStructure},
        Hostile{"stream_length_past_end",
                [] {
                  ByteWriter w;
                  w.Bytes(FileRecordHeader(1)).String("").U32(0).U32(0).U32(5000).U32(0).U32(0).U32(0).U32(0);
                  w.U16(0).U8(0).U8(16);
                  return DataOf(Records(GroupWriter("BACKUP").Raw(w.bytes())));
                },
                msg::kBadStructure},
        Hostile{"stream_length_top_bit",
                [] {
                  ByteWriter w;
                  w.Bytes(FileRecordHeader(1)).String("").U32(0).U32(0).U32(0x80000000u).U32(0).U32(0).U32(0).U32(0);
                  w.U16(0).U8(0).U8(16);
                  return DataOf(Records(GroupWriter("BACKUP").Raw(w.bytes())));
                },
                msg::kBadStructure},
        Hostile{"data_size_max",
                [] {
                  ByteWriter w;
                  w.U8(2).String("x").U32(0xFFFFFFFF).U32(0).U16(0);
                  return DataOf(Records(GroupWriter("BACKUP").Raw(w.bytes())));
                },
                msg::kBadStructure},
        Hostile{"insert_block_size_0",
                [] { return DataOf(Records(GroupWriter("BACKUP").File(AppRecord({Hex("01"), "", Hex("01"), "x", ""}, 0)))); },
                msg::kPatchDamaged},
        Hostile{"copy_of_2_gib",
                [] {
                  return DataOf(Records(GroupWriter("BACKUP").File(
                      AppRecord({Hex("FF FF FF 7F 00 00"), Hex("03"), Hex("01"), "", ""}, 16, 1, 0x7FFFFFF0))));
                },
                msg::kCrcMismatch},
        Hostile{"negative_address",
                [] { return DataOf(Records(GroupWriter("BACKUP").File(AppRecord({Hex("01 05 00"), "", Hex("02"), "", ""})))); },
                msg::kPatchDamaged},
        Hostile{"source_size_2_gib_minus_1",
                [] {
                  FileRecordSpec f = AppRecord({"", "", "", "", ""}, 16, 1);
                  f.versions[0].size = 0x7FFFFFFF;
                  return DataOf(Records(GroupWriter("BACKUP").File(f)));
                },
                msg::kRequiredFileError},
        Hostile{"exclusion_range_that_wraps",
                [] {
                  FileRecordSpec f = AppRecord({"", "", "", "", ""});
                  f.file_flags = file_flags::kExcludeRanges;
                  f.versions[0].exclude_offset = 0xFFFFFFF0;
                  f.versions[0].exclude_length = 0x20;
                  f.new_exclude_offset = 0xFFFFFFF0;
                  f.new_exclude_length = 0x20;
                  f.new_size = 0;  // an empty delta makes an empty file: its CRC is not NewCrc
                  return DataOf(Records(GroupWriter("BACKUP").File(f)));
                },
                msg::kCrcMismatch},
        Hostile{"set_value_of_1002_bytes",
                [] {
                  std::string b = Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd();
                  b += std::string("\x02\x01V\x01\x00\x00\x00\xEA\x03\x00\x00", 12) + std::string(1002, 'v') + '\0';
                  return DataOf(RegistryRecords(b));
                },
                msg::kPatchDamaged},
        Hostile{"set_value_of_4_gib",
                [] {
                  std::string b = Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd();
                  b += std::string("\x02\x01V\x01\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
                  return DataOf(RegistryRecords(b));
                },
                msg::kPatchDamaged},
        Hostile{"registry_block_without_end",
                [] { return DataOf(RegistryRecords(Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd())); },
                msg::kPatchDamaged},
        Hostile{"block_length_disagrees",
                [] {
                  ByteWriter w;
                  w.U8(5).U32(5).Bytes(Check().Bytes());
                  return DataOf(Records(GroupWriter("BACKUP").Raw(w.bytes())));
                },
                msg::kBadStructure},
        Hostile{"name_climbs_out", [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("..\\sibling\\keep.txt", "x"))); },
                msg::kBadStructure},
        Hostile{"name_absolute", [] { return DataOf(Records(GroupWriter("BACKUP").RemoveFile("\\etc\\passwd"))); },
                msg::kBadStructure},
        Hostile{"name_drive_relative", [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("C:evil.dll", "x"))); },
                msg::kBadStructure},
        Hostile{"name_unc", [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("\\\\srv\\share\\x", "x"))); },
                msg::kBadStructure},
        Hostile{"name_device", [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("data\\NUL.txt", "x"))); },
                msg::kBadStructure},
        Hostile{"name_empty", [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("", "x"))); },
                msg::kBadStructure},
        Hostile{"backup_folder_empty", [] { return DataOf(Records(GroupWriter("").RemoveFile("app.exe"))); },
                msg::kBadStructure},
        Hostile{"backup_folder_dot", [] { return DataOf(Records(GroupWriter(".").RemoveFile("app.exe"))); },
                msg::kBadStructure},
        Hostile{"backup_folder_climbs_out", [] { return DataOf(Records(GroupWriter("..\\sibling").RemoveFile("app.exe"))); },
                msg::kBadStructure},
        Hostile{"backup_folder_is_staging", [] { return DataOf(Records(GroupWriter("PATCH0.TMP").RemoveFile("app.exe"))); },
                msg::kBadStructure},
        Hostile{"same_file_name_twice",
                [] { return DataOf(Records(GroupWriter("BACKUP").StoredFile("new.txt", "a").StoredFile("new.txt", "b"))); },
                msg::kDiskFull}),
    [](const auto& info) { return std::string(info.param.name); });

// A DEFLATE bomb: 128 KB of patch data that unpacks to 128 MiB, against a
// temporary folder with room for 32 MiB. The unpacking stops when the disk is
// full, with 39, and nothing is left behind. (A bigger bomb still stops at the
// largest script the format can address, 2^31-1 bytes, with 1.)
TEST_F(HostilePatchTest, DeflateBombOnAFullScratchDiskEndsWith39) {
  const auto before = testing::Snapshot(dir_.path());
  const std::string bomb = DataOf(Records(GroupWriter("B").StoredFile("big.bin", std::string(128 << 20, '\0'))));
  ASSERT_LT(bomb.size(), 256u << 10);
  testing::FaultyOs full_temp(os_);
  int writes = 0;
  full_temp.FailWhen([&](const std::string& call) { return call == "Write" && ++writes > 512; });  // 64 KiB each
  const auto session = PatchSession(full_temp, bomb);
  EXPECT_EQ(OpenPatchContainer(*session), msg::kScratchFull);
  EXPECT_EQ(writes, 513) << "no write after the first failed one";
  auto after = testing::Snapshot(dir_.path());
  after.erase("patch.exe");
  EXPECT_EQ(after, before);
}

// A Big5 name whose second byte is a backslash is one file, not a folder.
TEST_F(HostilePatchTest, Big5NameWithABackslashByte) {
  const std::string xu = "\xB3\x5C.txt";  // 許.txt
  const auto session = PatchSession(os_, DataOf(Records(GroupWriter("BACKUP").StoredFile(xu, "許"))));
  ASSERT_EQ(OpenPatchContainer(*session), msg::kOk);
  ASSERT_EQ(ApplyPatch(*session), msg::kOk);
  EXPECT_EQ(dir_.Read("app/許.txt"), "許");
}

}  // namespace
}  // namespace ztx
