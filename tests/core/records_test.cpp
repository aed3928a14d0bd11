#include "core/records.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "commit/location.h"
#include "core/container.h"
#include "maker/container_writer.h"
#include "maker/script_writer.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// Keeps a copy of the record state at every handler call.
struct Seen {
  int group;
  RecordKind kind;
  RecordState record;
  std::string folder;
  std::string backup;
  std::string staging;
};

class CancelUi : public UiHooks {
 public:
  bool CancelRequested() override { return cancel; }
  bool cancel = false;
};

class RecordsTest : public ::testing::Test {
 protected:
  // Loads the groups as a script whose user folder is the test folder.
  void Load(const std::vector<LocatedGroup>& groups) { LoadBytes(BuildRecords(groups)); }
  void LoadBytes(const std::string& bytes) {
    testing::LoadScript(session_, bytes);
    session_.requested_target = dir_.path().string();
    ASSERT_EQ(RunLocationPass(session_), msg::kOk);
  }
  RecordHandler Recorder() {
    return [this](int group, RecordKind kind) {
      seen_.push_back({group, kind, session_.record, session_.names.current_target_folder,
                       session_.backup_folder, session_.staging_folders[group]});
      return msg::kOk;
    };
  }
  static LocatedGroup User(GroupWriter group) { return {LocationSpec{}, std::move(group)}; }

  std::unique_ptr<Os> os_ = MakeNativeOs();
  CancelUi ui_;
  Session session_{*os_, ui_};
  TempFolder dir_;
  std::vector<Seen> seen_;
};

FileRecordSpec TwoVersionRecord(std::uint8_t flags) {
  FileRecordSpec f;
  f.file_name = "bin\\game.exe";
  f.new_crc = 0x11223344;
  f.new_size = 5000;
  f.new_timestamp = 0x5A2B6C3D;
  f.file_flags = flags;
  f.new_exclude_offset = 100;
  f.new_exclude_length = 8;
  VersionSpec v0;
  v0.source_name = "bin\\old.exe";
  v0.crc = 0xAABBCCDD;
  v0.size = 4000;
  v0.tail_length_period = 3;
  v0.delta_flags = 1;
  v0.insert_block_size = 16;
  v0.exclude_offset = 7;
  v0.exclude_length = 9;
  v0.streams = {"a", "bb", "ccc", "", "eeeee"};
  VersionSpec v1;  // empty source name: the file's own name
  v1.crc = 0x01020304;
  v1.size = 4500;
  v1.streams = {"1", "", "", "", "22"};
  f.versions = {v0, v1};
  return f;
}

TEST_F(RecordsTest, EveryKindReadsBackFieldByField) {
  const std::string block = "REGISTRY-BLOCK";
  Load({User(GroupWriter("backup")
                 .File(TwoVersionRecord(file_flags::kExcludeRanges | file_flags::kOptionalFile))
                 .StoredFile("readme.txt", "hello", 0x12345678)
                 .RemoveFile("old.dll")
                 .Registry(block))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  ASSERT_EQ(seen_.size(), 4u);

  const RecordState& f = seen_[0].record;
  EXPECT_EQ(seen_[0].kind, RecordKind::kFile);
  EXPECT_EQ(f.file_name, "bin\\game.exe");
  EXPECT_EQ(f.file.new_crc, 0x11223344u);
  EXPECT_EQ(f.file.new_size, 5000u);
  EXPECT_EQ(f.file.new_timestamp, 0x5A2B6C3Du);
  EXPECT_EQ(f.file.version_count, 2);
  EXPECT_TRUE(f.file.optional());
  EXPECT_FALSE(f.file.quiet());
  EXPECT_EQ(f.file.new_exclude_offset, 100u);
  EXPECT_EQ(f.file.new_exclude_length, 8u);
  EXPECT_EQ(f.versions[0].source_name, "bin\\old.exe");
  EXPECT_EQ(f.versions[0].version.crc, 0xAABBCCDDu);
  EXPECT_EQ(f.versions[0].version.size, 4000u);
  EXPECT_EQ(f.versions[0].version.stream_lengths, (std::array<std::uint32_t, 5>{1, 2, 3, 0, 5}));
  EXPECT_EQ(f.versions[0].version.tail_length_period, 3);
  EXPECT_EQ(f.versions[0].version.delta_flags, 1);
  EXPECT_EQ(f.versions[0].version.insert_block_size, 16);
  EXPECT_EQ(f.versions[0].exclude_offset, 7u);
  EXPECT_EQ(f.versions[0].exclude_length, 9u);
  EXPECT_EQ(f.versions[1].source_name, "bin\\game.exe") << "empty SourceName reads as FileName";
  EXPECT_EQ(f.versions[1].version.crc, 0x01020304u);
  // The streams of version 1 start after version 0's 11 stream bytes, its own
  // name string (1 byte: empty), 32 bytes of SourceVersion and 8 of exclusion.
  EXPECT_EQ(f.versions[1].streams_offset, f.versions[0].streams_offset + 11 + 1 + 32 + 8);
  char first[3];
  ASSERT_TRUE(session_.script.SeekTo(f.versions[0].streams_offset + 1));
  ASSERT_TRUE(session_.script.Read(first, 3));
  EXPECT_EQ(std::string(first, 3), "bbc");

  const RecordState& stored = seen_[1].record;
  EXPECT_EQ(stored.file_name, "readme.txt");
  EXPECT_EQ(stored.data_size, 5u);
  EXPECT_EQ(stored.timestamp, 0x12345678u);
  ASSERT_TRUE(session_.script.SeekTo(stored.data_offset));
  char content[5];
  ASSERT_TRUE(session_.script.Read(content, 5));
  EXPECT_EQ(std::string(content, 5), "hello");

  EXPECT_EQ(seen_[2].kind, RecordKind::kRemoveFile);
  EXPECT_EQ(seen_[2].record.file_name, "old.dll");

  EXPECT_EQ(seen_[3].kind, RecordKind::kRegistry);
  EXPECT_EQ(seen_[3].record.block_length, block.size());
  EXPECT_EQ(seen_[3].record.block_offset, seen_[3].record.end_offset - block.size());

  for (const Seen& s : seen_) {
    EXPECT_EQ(s.group, 0);
    EXPECT_EQ(s.backup, "backup");
    EXPECT_EQ(s.folder, dir_.path().string());
    EXPECT_EQ(s.staging, dir_.path().string() + "\\PATCH0.TMP");
  }
  EXPECT_EQ(session_.names.current_file_name, "old.dll") << "the last record with a file name";
}

TEST_F(RecordsTest, WithoutExcludeRangesNoExclusionFieldsAreStored) {
  FileRecordSpec with = TwoVersionRecord(file_flags::kExcludeRanges);
  FileRecordSpec without = TwoVersionRecord(0);
  const size_t with_size = GroupWriter("b").File(with).Bytes().size();
  const size_t without_size = GroupWriter("b").File(without).Bytes().size();
  EXPECT_EQ(with_size - without_size, 8u + 2 * 8u);

  Load({User(GroupWriter("b").File(without))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  const RecordState& r = seen_.at(0).record;
  EXPECT_EQ(r.file.new_exclude_offset, 0u);
  EXPECT_EQ(r.file.new_exclude_length, 0u);
  EXPECT_EQ(r.versions[0].exclude_offset, 0u);
  EXPECT_EQ(r.versions[1].exclude_length, 0u);
  EXPECT_EQ(r.versions[1].streams_offset, r.versions[0].streams_offset + 11 + 1 + 32);
}

TEST_F(RecordsTest, GroupWithOnlyGroupEndStillMakesItsStagingFolder) {
  Load({User(GroupWriter("backup"))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  EXPECT_TRUE(seen_.empty());
  EXPECT_TRUE(fs::is_directory(dir_.path() / "PATCH0.TMP"));
}

TEST_F(RecordsTest, VersionCountZeroIsHandedOver) {
  FileRecordSpec f;
  f.file_name = "new.dll";
  Load({User(GroupWriter("backup").File(f))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0].record.file.version_count, 0);
}

TEST_F(RecordsTest, StagingFolderSkipsExistingFoldersAndFailsOnAFile) {
  fs::create_directory(dir_.path() / "PATCH0.TMP");
  Load({User(GroupWriter("backup"))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  EXPECT_EQ(session_.staging_folders[0], dir_.path().string() + "\\PATCH1.TMP");
  EXPECT_TRUE(fs::is_directory(dir_.path() / "PATCH1.TMP"));

  BeginApply(session_);
  fs::remove_all(dir_.path() / "PATCH0.TMP");
  dir_.Write("PATCH0.TMP", "a file");
  EXPECT_EQ(ForEachRecord(session_, Recorder(), true), msg::kStagingFolderFailed);
}

TEST_F(RecordsTest, StagingFolderCreatesTheTargetAndItsParents) {
  const std::string target = dir_ / "new\\deep";
  std::string name;
  ASSERT_EQ(MakeStagingFolder(session_, target, &name), msg::kOk);
  EXPECT_EQ(name, target + "\\PATCH0.TMP");
  EXPECT_TRUE(fs::is_directory(dir_.path() / "new" / "deep" / "PATCH0.TMP"));
}

TEST_F(RecordsTest, PassWithoutStopReturnsTheFirstErrorAfterTheGroup) {
  // Two groups; the handler fails on the first record of the first. The rest of
  // that group is never handed over; the second group is visited.
  LocatedGroup first = User(GroupWriter("b").RemoveFile("a").RemoveFile("b"));
  LocatedGroup second = User(GroupWriter("b").RemoveFile("z"));
  const std::string records = BuildRecords({first, second});
  LoadBytes(records);
  std::vector<std::string> names;
  const MessageId r = ForEachRecord(session_, [&](int, RecordKind) {
    names.push_back(session_.record.file_name);
    return names.size() == 1 ? msg::kBackupCopyLocked : msg::kOk;
  }, false);
  EXPECT_EQ(r, msg::kBackupCopyLocked);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "z"}));

  names.clear();
  EXPECT_EQ(ForEachRecord(session_, [&](int, RecordKind) {
    names.push_back(session_.record.file_name);
    return msg::kBackupCopyLocked;
  }, true), msg::kBackupCopyLocked);
  EXPECT_EQ(names.size(), 1u) << "with stop at error, the pass ends at once";
}

TEST_F(RecordsTest, CancelIsSeenAtTheStartOfAGroupOnlyWhenStoppingAtErrors) {
  Load({User(GroupWriter("b").RemoveFile("a"))});
  ui_.cancel = true;
  EXPECT_EQ(ForEachRecord(session_, Recorder(), true), msg::kCancelled);
  EXPECT_TRUE(seen_.empty());
  EXPECT_EQ(ForEachRecord(session_, Recorder(), false), msg::kOk);
  EXPECT_EQ(seen_.size(), 1u);
}

TEST_F(RecordsTest, HandlersCannotDesynchroniseThePasses) {
  // A handler that leaves the position anywhere (here: in the middle of the
  // stored content) does not change which record comes next.
  Load({User(GroupWriter("b").StoredFile("a", "RM\x03" "fake").RemoveFile("z"))});
  std::vector<std::string> names;
  ASSERT_EQ(ForEachRecord(session_, [&](int, RecordKind) {
    names.push_back(session_.record.file_name);
    session_.script.SeekTo(session_.record.data_offset + 2);
    return msg::kOk;
  }, true), msg::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "z"}));
}

TEST_F(RecordsTest, SeveralLocationsEachWithItsGroup) {
  TempFolder other;
  LocatedGroup a = User(GroupWriter("bak1").RemoveFile("one").RemoveFile("two"));
  LocatedGroup b{LocationSpec{LocationKind::kUserFolder}, GroupWriter("bak2").RemoveFile("three")};
  Load({a, b});
  EXPECT_EQ(session_.locations.last_row, 1);
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].backup, "bak1");
  EXPECT_EQ(seen_[2].group, 1);
  EXPECT_EQ(seen_[2].backup, "bak2");
  EXPECT_EQ(seen_[2].record.file_name, "three");
  EXPECT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk) << "passes can be repeated";
  EXPECT_EQ(seen_.size(), 6u);
}

TEST_F(RecordsTest, EachApplyMakesItsOwnStagingFolder) {
  Load({User(GroupWriter("b"))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  TempFolder second_target;
  session_.requested_target = second_target.path().string();
  BeginApply(session_);
  ASSERT_EQ(RunLocationPass(session_), msg::kOk);
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  EXPECT_EQ(session_.staging_folders[0], second_target.path().string() + "\\PATCH0.TMP");
  EXPECT_TRUE(fs::is_directory(second_target.path() / "PATCH0.TMP"));
}

// Damaged and hostile records: each ends the pass with its message, and a check
// before any pass finds it without touching a file.
struct BadCase {
  const char* name;
  std::function<std::string()> records;
  MessageId pass_result;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class BadRecordTest : public RecordsTest, public ::testing::WithParamInterface<BadCase> {};

std::string Group(const GroupWriter& g) { return BuildRecords({{LocationSpec{}, g}}); }

std::string WithBytePatched(std::string bytes, size_t at, char value) {
  bytes[at] = value;
  return bytes;
}

// A FileRecord whose fixed part is written by hand.
std::string FileRecordHeader(std::uint16_t version_count, const std::string& name) {
  ByteWriter w;
  w.U8(1).U32(0).U32(0).U32(0).U16(0).U16(version_count).U8(0).U8(0).String(name);
  return w.bytes();
}

TEST_P(BadRecordTest, IsRefused) {
  const std::string bytes = GetParam().records();
  testing::LoadScript(session_, bytes);
  session_.requested_target = dir_.path().string();
  ASSERT_EQ(RunLocationPass(session_), msg::kOk);
  EXPECT_EQ(CheckRecordGroups(session_), GetParam().pass_result);
  EXPECT_TRUE(fs::is_empty(dir_.path())) << "the check touches no file";
  EXPECT_EQ(ForEachRecord(session_, Recorder(), true), GetParam().pass_result);
  EXPECT_TRUE(seen_.empty() || GetParam().pass_result == msg::kOk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadRecordTest,
    ::testing::Values(
        BadCase{"kind_4", [] { return Group(GroupWriter("b").Raw("\x04")); }, msg::kBadStructure},
        BadCase{"kind_255", [] { return Group(GroupWriter("b").Raw("\xFF")); }, msg::kBadStructure},
        BadCase{"version_count_21",
                [] { return Group(GroupWriter("b").Raw(FileRecordHeader(21, "a"))); },
                msg::kBadStructure},
        BadCase{"version_count_65535",
                [] { return Group(GroupWriter("b").Raw(FileRecordHeader(65535, "a"))); },
                msg::kBadStructure},
        BadCase{"stream_length_past_end",
                [] {
                  ByteWriter w;
                  w.Bytes(FileRecordHeader(1, "a")).String("").U32(0).U32(0).U32(0x7FFFFFFF);
                  w.U32(0).U32(0).U32(0).U32(0).U16(0).U8(0).U8(0);
                  return Group(GroupWriter("b").Raw(w.bytes()));
                },
                msg::kBadStructure},
        BadCase{"stream_lengths_wrap_32_bits",
                [] {
                  ByteWriter w;
                  w.Bytes(FileRecordHeader(1, "a")).String("").U32(0).U32(0);
                  w.U32(0xFFFFFFFF).U32(0xFFFFFFFF).U32(2).U32(0).U32(0).U16(0).U8(0).U8(0);
                  return Group(GroupWriter("b").Raw(w.bytes()));
                },
                msg::kBadStructure},
        BadCase{"data_size_max",
                [] {
                  ByteWriter w;
                  w.U8(2).String("a").U32(0xFFFFFFFF).U32(0).U16(0);
                  return Group(GroupWriter("b").Raw(w.bytes()));
                },
                msg::kBadStructure},
        BadCase{"block_length_past_end",
                [] {
                  ByteWriter w;
                  w.U8(5).U32(1000).Bytes("short");
                  return Group(GroupWriter("b").Raw(w.bytes()));
                },
                msg::kBadStructure},
        BadCase{"truncated_record",
                [] {
                  std::string g = Group(GroupWriter("b").StoredFile("a", "xyz"));
                  return g.substr(0, g.size() - 6);
                },
                msg::kBadStructure},
        BadCase{"file_name_climbs_out",
                [] { return Group(GroupWriter("b").RemoveFile("..\\x")); }, msg::kBadStructure},
        BadCase{"file_name_empty", [] { return Group(GroupWriter("b").StoredFile("", "x")); },
                msg::kBadStructure},
        BadCase{"source_name_absolute",
                [] {
                  FileRecordSpec f;
                  f.file_name = "a";
                  VersionSpec v;
                  v.source_name = "C:\\Windows\\x.dll";
                  f.versions = {v};
                  return Group(GroupWriter("b").File(f));
                },
                msg::kBadStructure},
        BadCase{"backup_folder_empty", [] { return Group(GroupWriter("")); }, msg::kBadStructure},
        BadCase{"backup_folder_dot", [] { return Group(GroupWriter(".")); }, msg::kBadStructure},
        BadCase{"backup_folder_climbs_out", [] { return Group(GroupWriter("..\\bak")); },
                msg::kBadStructure},
        BadCase{"backup_folder_is_staging", [] { return Group(GroupWriter("PATCH0.TMP")); },
                msg::kBadStructure},
        BadCase{"backup_folder_unreadable",
                [] { return WithBytePatched(Group(GroupWriter("b")), 2, '\x7F'); },
                msg::kPatchDamaged}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordsTest, VersionCountOver20WritesNoSlot) {
  Load({User(GroupWriter("b").File(TwoVersionRecord(0)))});
  ASSERT_EQ(ForEachRecord(session_, Recorder(), true), msg::kOk);
  const RecordState before = session_.record;
  testing::LoadScript(session_, Group(GroupWriter("b").Raw(FileRecordHeader(21, "x"))));
  ASSERT_EQ(RunLocationPass(session_), msg::kOk);
  EXPECT_EQ(ForEachRecord(session_, Recorder(), true), msg::kBadStructure);
  EXPECT_EQ(session_.record.versions[0].source_name, before.versions[0].source_name);
  EXPECT_EQ(session_.record.file.version_count, 2);
}

// The whole chain as the applier runs it: a patch file built by the writers,
// opened by the container reader, located, and walked. Also runs under Wine.
TEST_F(RecordsTest, WalksARealPatchFile) {
  ContainerContent content;
  content.description = "demo";
  content.records = BuildRecords({User(GroupWriter("backup")
                                           .File(TwoVersionRecord(file_flags::kExcludeRanges))
                                           .StoredFile("\xB3\x5C\\\xA5\x5C.txt", "big5 name")
                                           .RemoveFile("gone.txt"))});
  const auto data = BuildPatchData(content);
  dir_.Write("patch.exe", "MZ stub" + std::string(data.begin(), data.end()));

  Session s(*os_, ui_);
  s.names.program_path = dir_ / "patch.exe";
  s.requested_target = dir_ / "target";
  ASSERT_EQ(OpenPatchContainer(s), msg::kOk);
  ASSERT_EQ(RunLocationPass(s), msg::kOk);
  ASSERT_EQ(CheckRecordGroups(s), msg::kOk);
  std::vector<std::string> names;
  ASSERT_EQ(ForEachRecord(s, [&](int, RecordKind) {
    names.push_back(s.record.file_name);
    return msg::kOk;
  }, true), msg::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{"bin\\game.exe", "\xB3\x5C\\\xA5\x5C.txt", "gone.txt"}));
  EXPECT_TRUE(fs::is_directory(dir_.path() / "target" / "PATCH0.TMP"));
}

}  // namespace
}  // namespace ztx
