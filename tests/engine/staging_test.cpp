#include "engine/staging.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include "platform/win32_names.h"
#endif

#include "commit/location.h"
#include "core/container.h"
#include "maker/container_writer.h"
#include "tests/support/faulty_os.h"
#include "tests/support/patch_builder.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;
using testing::ChainRecord;
using testing::CrcOf;

// Keeps the raw bytes fed to the log.
class LogUi : public UiHooks {
 public:
  void LogPutChar(char b) override { log += b; }
  std::string log;
};

std::string Text(std::initializer_list<MessageId> ids, const MessageNames& names) {
  std::string out;
  for (MessageId id : ids) out += MessageText(id, names);
  return out;
}

const std::string kV1 = "version one of the program, with some bytes";
const std::string kV2 = "version one of the program, now the second";
const std::string kV3 = "version one of the third kind";
const std::string kNew = "version one of the program as it is now, brand new";

class StagingTest : public ::testing::Test {
 protected:
  // Stages the group; the target folder is dir_/target.
  MessageId Stage(const GroupWriter& group, Os* os = nullptr) {
    session_.reset();
    session_ = std::make_unique<Session>(os ? *os : *os_, ui_);
    testing::LoadScript(*session_, BuildRecords({{LocationSpec{}, group}}));
    session_->requested_target = Target();
    EXPECT_EQ(RunLocationPass(*session_), msg::kOk);
    return ForEachRecord(*session_, StagingHandler(*session_), true);
  }
  std::string Target() const { return dir_ / "target"; }
  void Put(const std::string& name, const std::string& content) {
    fs::create_directories((dir_.path() / "target" / name).parent_path());
    dir_.Write("target/" + name, content);
  }
  std::string Staged(const std::string& name) const { return dir_.Read("target/PATCH0.TMP/" + name); }
  std::vector<std::string> StagingFolder() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir_.path() / "target" / "PATCH0.TMP")) {
      if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir_.path() / "target" / "PATCH0.TMP").generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  MessageNames Names(const std::string& file) const { return {"", file, Target()}; }

  // A fresh recording (and possibly failing) Os in front of the real one. The
  // session, which holds handles of it, is dropped first.
  testing::FaultyOs* Recording() {
    session_.reset();
    faulty_ = std::make_unique<testing::FaultyOs>(*os_);
    return faulty_.get();
  }

  std::unique_ptr<Os> os_ = MakeNativeOs();
  std::unique_ptr<testing::FaultyOs> faulty_;
  LogUi ui_;
  std::unique_ptr<Session> session_;  // after the Os objects: it goes first
  testing::TempFolder dir_;
};

TEST_F(StagingTest, RebuildsTheNewVersionFromTheOneOnDisk) {
  Put("bin/game.exe", kV2);
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("bin\\game.exe", {kV1, kV2}, kNew))), msg::kOk);
  EXPECT_EQ(Staged("bin/game.exe"), kNew);
  EXPECT_EQ(StagingFolder(), (std::vector<std::string>{"bin/game.exe"}));
  EXPECT_EQ(ui_.log, Text({msg::kWorkingOnFile, msg::kDone}, Names("bin\\game.exe")));
  EXPECT_EQ(dir_.Read("target/bin/game.exe"), kV2) << "the target folder is only read";
}

TEST_F(StagingTest, AlreadyUpdatedStagesNothing) {
  Put("a.dll", kNew);
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew))), msg::kOk);
  EXPECT_TRUE(StagingFolder().empty());
  EXPECT_EQ(ui_.log, Text({msg::kWorkingOnFile, msg::kAlreadyUpdated}, Names("a.dll")));
}

TEST_F(StagingTest, NoVersionFoundByOptionalAndQuietFlags) {
  struct Case {
    std::uint8_t flags;
    MessageId result;
    std::initializer_list<MessageId> log;
  };
  const Case cases[] = {
      {0, msg::kRequiredFileError, {msg::kWorkingOnFile, msg::kNoMatchingSource}},
      {file_flags::kOptionalFile, msg::kOk,
       {msg::kWorkingOnFile, msg::kNoMatchingSource, msg::kOptionalFileWarning}},
      {file_flags::kOptionalFile | file_flags::kQuietOptional, msg::kOk,
       {msg::kWorkingOnFile, msg::kNoMatchingSource}},
      {file_flags::kQuietOptional, msg::kRequiredFileError, {msg::kWorkingOnFile, msg::kNoMatchingSource}},
  };
  for (const Case& c : cases) {
    ui_.log.clear();
    FileRecordSpec none = ChainRecord("x.dll", {}, kNew, c.flags);  // VersionCount 0
    EXPECT_EQ(Stage(GroupWriter("backup").File(none)), c.result) << int(c.flags);
    EXPECT_EQ(ui_.log, Text(c.log, Names("x.dll"))) << int(c.flags);
    EXPECT_TRUE(StagingFolder().empty());
    session_.reset();
    fs::remove_all(dir_.path() / "target");
  }
}

TEST_F(StagingTest, BackupCopyIsTestedWhenTheVersionFileDoesNotMatch) {
  Put("backup/a.dll", kV1);
  Put("a.dll", "something else");
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew))), msg::kOk);
  EXPECT_EQ(Staged("a.dll"), kNew) << "rebuilt from the backup copy";

  // The version file missing, its old version aside: what an apply that stopped
  // in the middle of its commit leaves.
  session_.reset();
  fs::remove_all(dir_.path() / "target");
  Put("backup/a.dll", kV1);
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew))), msg::kOk);
  EXPECT_EQ(Staged("a.dll"), kNew);
}

TEST_F(StagingTest, ChainThroughThreeVersionsAlternatesTheChainFiles) {
  Put("a.dll", kV1);
  testing::FaultyOs* recording = Recording();
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1, kV2, kV3}, kNew)), recording),
            msg::kOk);
  EXPECT_EQ(Staged("a.dll"), kNew);
  EXPECT_EQ(StagingFolder(), (std::vector<std::string>{"a.dll"})) << "chain files are gone";
  std::vector<std::string> chain_calls;
  for (const std::string& call : recording->calls()) {
    if (call.find("ZTXTMP") == std::string::npos) continue;
    const std::string kind = call.substr(0, call.find(' '));
    if (kind == "Open" || kind == "DeleteFile") chain_calls.push_back(kind + " " + call.substr(call.size() - 11));
  }
  EXPECT_EQ(chain_calls, (std::vector<std::string>{
                             "DeleteFile ZTXTMP2.TMP",  // a leftover, if any
                             "Open ZTXTMP2.TMP",        // created: version 2
                             "Open ZTXTMP2.TMP",        // read by the next step
                             "DeleteFile ZTXTMP1.TMP",
                             "Open ZTXTMP1.TMP",        // created: version 3
                             "DeleteFile ZTXTMP2.TMP",  // its input is done
                             "Open ZTXTMP1.TMP",        // read by the last step
                             "DeleteFile ZTXTMP1.TMP"}));
  EXPECT_FALSE(session_->chain_file_toggle) << "flipped twice";
}

TEST_F(StagingTest, ChainStartingAtTheLastVersionWritesNoChainFile) {
  Put("a.dll", kV3);
  testing::FaultyOs* recording = Recording();
  ASSERT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1, kV2, kV3}, kNew)), recording),
            msg::kOk);
  EXPECT_EQ(Staged("a.dll"), kNew);
  for (const std::string& call : recording->calls()) EXPECT_EQ(call.find("ZTXTMP"), std::string::npos) << call;
}

TEST_F(StagingTest, WrongIntermediateOutputIsCaughtAtTheEnd) {
  Put("a.dll", kV1);
  FileRecordSpec f = ChainRecord("a.dll", {kV1, kV2}, kNew);
  // Step 1 makes something other than version 2 (of the right size), so step 2
  // builds a wrong file.
  std::string wrong_v2 = kV2;
  wrong_v2[3] ^= 0x20;
  f.versions[0].streams = testing::StepSpec(kV1, wrong_v2).streams;
  EXPECT_EQ(Stage(GroupWriter("backup").File(f)), msg::kCrcMismatch);
}

TEST_F(StagingTest, SameFileNameTwiceCannotBeStaged) {
  Put("a.dll", kV1);
  EXPECT_EQ(Stage(GroupWriter("backup")
                      .File(ChainRecord("a.dll", {kV1}, kNew))
                      .StoredFile("a.dll", "again")),
            msg::kDiskFull);
}

TEST_F(StagingTest, ExclusionRangesLeaveBytesOut) {
  // Bytes 5..9 of the old file and 0..3 of the new may be anything.
  std::string on_disk = kV1;
  on_disk.replace(5, 4, "XXXX");
  Put("a.dll", on_disk);
  FileRecordSpec f = ChainRecord("a.dll", {on_disk}, kNew, file_flags::kExcludeRanges);
  f.versions[0].exclude_offset = 5;
  f.versions[0].exclude_length = 4;
  f.versions[0].crc = CrcOf(kV1.substr(0, 5) + kV1.substr(9));
  f.new_exclude_offset = 0;
  f.new_exclude_length = 4;
  f.new_crc = CrcOf(kNew.substr(4));
  ASSERT_EQ(Stage(GroupWriter("backup").File(f)), msg::kOk);
  EXPECT_EQ(Staged("a.dll"), kNew) << "verified with the new file's range left out";
}

TEST_F(StagingTest, HugeFilesAreNoVersionOfAnything) {
  // Sparse files: 4 GiB + 100 bytes whose size modulo 2^32 and first 100 bytes
  // are those of a 100-byte version, and 2^31 bytes.
  const std::string small(100, '\0');
  for (const std::uint64_t size : {(std::uint64_t{1} << 32) + 100, std::uint64_t{1} << 31}) {
    session_.reset();
    fs::remove_all(dir_.path() / "target");
    Put("a.dll", "");
    fs::resize_file(dir_.path() / "target" / "a.dll", size);
    FileRecordSpec f = ChainRecord("a.dll", {small}, kNew);
    if (size >> 32) f.versions[0].size = 100;
    else f.versions[0].size = 0x80000000u;
    EXPECT_EQ(Stage(GroupWriter("backup").File(f)), msg::kRequiredFileError) << size;
  }
}

TEST_F(StagingTest, StoredFilesAreWrittenOutAndOtherKindsIgnored) {
  ASSERT_EQ(Stage(GroupWriter("backup")
                      .StoredFile("docs\\readme.txt", std::string(200000, 'r'))
                      .RemoveFile("old.txt")
                      .Registry("block")),
            msg::kOk);
  EXPECT_EQ(Staged("docs/readme.txt"), std::string(200000, 'r'));
  EXPECT_EQ(StagingFolder(), (std::vector<std::string>{"docs/readme.txt"}));
  EXPECT_EQ(ui_.log, Text({msg::kWorkingOnFile, msg::kDone}, Names("docs\\readme.txt")));
}

TEST_F(StagingTest, AFailedWriteIsDiskFull) {
  Put("a.dll", kV1);
  const GroupWriter group = GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew));
  testing::FaultyOs* counting = Recording();
  ASSERT_EQ(Stage(group, counting), msg::kOk);
  // The writes of the pass, after the script was loaded and the staging folder made.
  std::vector<int> writes;
  bool staging = false;
  for (size_t i = 0; i < counting->calls().size(); ++i) {
    staging = staging || counting->calls()[i].find("PATCH0.TMP") != std::string::npos;
    if (staging && (counting->calls()[i] == "Write" || counting->calls()[i] == "Flush")) {
      writes.push_back(static_cast<int>(i) + 1);
    }
  }
  ASSERT_GE(writes.size(), 2u) << "the staged file is written and flushed";
  for (int k : writes) {
    testing::FaultyOs* faulty = Recording();
    fs::remove_all(dir_.path() / "target" / "PATCH0.TMP");
    faulty->FailAt(k);
    EXPECT_EQ(Stage(group, faulty), msg::kDiskFull) << k;
  }
}

// The whole way of a patch executable made by the writers: container, location,
// and a two-step chain rebuilt in the staging folder. Runs under Wine too.
TEST_F(StagingTest, StagesFromARealPatchFile) {
  Put("bin/game.exe", kV1);
  ContainerContent content;
  content.description = "two steps";
  content.records = BuildRecords(
      {{LocationSpec{}, GroupWriter("backup").File(ChainRecord("bin\\game.exe", {kV1, kV2}, kNew))}});
  const auto data = BuildPatchData(content);
  dir_.Write("patch.exe", "MZ" + std::string(data.begin(), data.end()));

  session_ = std::make_unique<Session>(*os_, ui_);
  session_->names.program_path = dir_ / "patch.exe";
  session_->requested_target = Target();
  ASSERT_EQ(OpenPatchContainer(*session_), msg::kOk);
  ASSERT_EQ(RunLocationPass(*session_), msg::kOk);
  ASSERT_EQ(ForEachRecord(*session_, StagingHandler(*session_), true), msg::kOk);
  EXPECT_EQ(Staged("bin/game.exe"), kNew);
  EXPECT_EQ(StagingFolder(), (std::vector<std::string>{"bin/game.exe"}));
}

#ifdef _WIN32
// A version file that another program holds open without read sharing cannot be
// read, and counts as absent.
TEST_F(StagingTest, FileHeldWithoutSharingCountsAsAbsent) {
  Put("a.dll", kV1);
  HANDLE held = CreateFileA((Target() + "\\a.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew))), msg::kRequiredFileError);
  EXPECT_EQ(ui_.log, Text({msg::kWorkingOnFile, msg::kNoMatchingSource}, Names("a.dll")));
  CloseHandle(held);
  session_.reset();
  fs::remove_all(dir_.path() / "target" / "PATCH0.TMP");
  ui_.log.clear();
  EXPECT_EQ(Stage(GroupWriter("backup").File(ChainRecord("a.dll", {kV1}, kNew))), msg::kOk);
}
#endif

}  // namespace
}  // namespace ztx
