// Whole applies against the POSIX stand-in: its in-memory registry, recorded
// delayed moves and profile strings show exactly what was written and queued.
#include "commit/apply_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/names.h"
#include "platform/os_posix.h"
#include "tests/support/faulty_os.h"
#include "tests/support/patch_builder.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;
using testing::ChainRecord;

constexpr std::uint32_t kHkcu = root_key::kCurrentUser;
constexpr std::uint32_t kRegSz = 1;

class ScriptedUi : public UiHooks {
 public:
  void LogPutChar(char b) override { log += b; }
  void PumpMessages() override {
    if (++pumps == cancel_at_pump) cancel = true;
  }
  bool CancelRequested() override { return cancel; }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(text);
    log += "<asked>";
    return answer_yes;
  }
  std::string log;
  int pumps = 0;
  int cancel_at_pump = -1;
  bool cancel = false;
  bool answer_yes = false;
  std::vector<std::string> questions;
};

const std::string kOld = "old content of a file, version 1";
const std::string kNew = "new content of a file, version 2!";

class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = dir_ / "app";
    fs::create_directories(dir_.path() / "app");
    os_.registry().Put(kHkcu, "Software\\App", "Path", kRegSz, target_ + std::string(1, '\0'));
    os_.registry().AddKey(kHkcu, "Software\\App\\Settings");
  }
  // Applies the group to the app folder; through `faulty` when it is set.
  MessageId Apply(const GroupWriter& group) {
    session_.reset();
    Os& os = faulty_ ? static_cast<Os&>(*faulty_) : os_;
    session_ = std::make_unique<Session>(os, ui_);
    testing::LoadScript(*session_, BuildRecords({{LocationSpec{}, group}}));
    session_->requested_target = target_;
    return ApplyPatch(*session_);
  }
  testing::FaultyOs& Faulty() {
    session_.reset();  // it may hold handles of the one replaced here
    faulty_ = std::make_unique<testing::FaultyOs>(os_);
    return *faulty_;
  }
  void Put(const std::string& name, const std::string& content) {
    fs::create_directories((dir_.path() / "app" / name).parent_path());
    dir_.Write("app/" + name, content);
  }
  std::string Read(const std::string& name) const { return dir_.Read("app/" + name); }
  bool Has(const std::string& name) const { return fs::exists(dir_.path() / "app" / name); }
  std::string Path(const std::string& name) const { return target_ + "\\" + name; }
  std::string Log(std::initializer_list<MessageId> ids, const std::string& file = "") const {
    std::string out;
    for (MessageId id : ids) out += MessageText(id, {"", file, target_});
    return out;
  }
  // Five files at version 1, each with a FileRecord to version 2.
  GroupWriter FiveFiles() {
    GroupWriter g("backup");
    for (int i = 1; i <= 5; ++i) {
      Put("f" + std::to_string(i), kOld + std::to_string(i));
      g.File(ChainRecord("f" + std::to_string(i), {kOld + std::to_string(i)}, kNew + std::to_string(i)));
    }
    return g;
  }
  void ExpectFiveOld() {
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(Read("f" + std::to_string(i)), kOld + std::to_string(i)) << i;
  }

  PosixOs os_;
  std::unique_ptr<testing::FaultyOs> faulty_;
  ScriptedUi ui_;
  std::unique_ptr<Session> session_;
  testing::TempFolder dir_;
  std::string target_;
};

TEST_F(ApplyTest, UpdatesAddsRemovesAndKeepsTheOldFiles) {
  Put("bin/game.exe", kOld);
  Put("gone.txt", "to be removed");
  const std::uint32_t stamp = (45u << 25) | (6u << 21) | (15u << 16) | (12u << 11);  // 2025-06-15 12:00
  FileRecordSpec game = ChainRecord("bin\\game.exe", {kOld}, kNew);
  game.new_timestamp = stamp;
  const std::string block = RegistryBlockWriter(kHkcu, "Software\\App", "Path")
                                .OpenKey(kHkcu, "Software\\App\\Settings")
                                .SetValue("Version", kRegSz, std::string("2.0\0", 4))
                                .Bytes();
  ASSERT_EQ(Apply(GroupWriter("backup")
                      .File(game)
                      .StoredFile("data\\new.dat", "added")
                      .RemoveFile("gone.txt")
                      .Registry(block)),
            msg::kOk);
  EXPECT_EQ(Read("bin/game.exe"), kNew);
  EXPECT_EQ(Read("data/new.dat"), "added");
  EXPECT_FALSE(Has("gone.txt"));
  EXPECT_EQ(Read("backup/bin/game.exe"), kOld);
  EXPECT_EQ(Read("backup/gone.txt"), "to be removed");
  EXPECT_FALSE(Has("backup/data")) << "an added file has no old version";
  EXPECT_FALSE(Has("PATCH0.TMP"));
  EXPECT_EQ(os_.registry().Get(kHkcu, "Software\\App\\Settings", "Version")->data, std::string("2.0\0", 4));
  const auto written = fs::last_write_time(dir_.path() / "app" / "bin" / "game.exe");
  const auto untouched = fs::last_write_time(dir_.path() / "app" / "data" / "new.dat");
  EXPECT_LT(written, untouched) << "the record's time stamp, in 2025";
  EXPECT_EQ(session_->committed.size(), 3u);
}

TEST_F(ApplyTest, EverythingUpToDateAlready) {
  Put("a.dll", kNew);
  ASSERT_EQ(Apply(GroupWriter("backup").File(ChainRecord("a.dll", {kOld}, kNew))), msg::kOk);
  EXPECT_EQ(ui_.log, Log({msg::kChecking}) + Log({msg::kWorkingOnFile, msg::kAlreadyUpdated}, "a.dll"));
  EXPECT_FALSE(Has("PATCH0.TMP"));
  EXPECT_FALSE(Has("backup"));
}

TEST_F(ApplyTest, LocationFailureTouchesNothing) {
  session_ = std::make_unique<Session>(os_, ui_);
  const LocationSpec missing{LocationKind::kRegistryPath, kHkcu, "Software\\Missing", "Path"};
  testing::LoadScript(*session_, BuildRecords({{missing, GroupWriter("backup").RemoveFile("x")}}));
  EXPECT_EQ(ApplyPatch(*session_), msg::kInstallPathMissing);
  EXPECT_EQ(ui_.log, Log({msg::kChecking}) + MessageText(msg::kInstallPathMissing, session_->names));
  EXPECT_TRUE(fs::is_empty(dir_.path() / "app"));
}

TEST_F(ApplyTest, HostileRecordStopsTheApplyBeforeAnyFileIsTouched) {
  Put("a.dll", kOld);
  EXPECT_EQ(Apply(GroupWriter("backup").File(ChainRecord("a.dll", {kOld}, kNew)).RemoveFile("..\\outside")),
            msg::kBadStructure);
  EXPECT_EQ(Read("a.dll"), kOld);
  EXPECT_FALSE(Has("PATCH0.TMP")) << "not even a staging folder";
}

// 0x87 0xC1 is one character to the name checks (a lead and a trail byte), so
// each "X\a" below is two folders and the three ".." stay inside the target.
// Converted for the file system, it must stay one unit too: dropping the 0x87
// alone would pair 0xC1 with the backslash behind it, each "X\a" would become
// one folder, and the file would land next to the target folder.
TEST_F(ApplyTest, ANameWithAnUnknownBig5CharacterStaysInTheTarget) {
  const std::string name = "\x87\xC1\\a\\\x87\xC1\\b\\..\\..\\..\\escaped.txt";
  ASSERT_TRUE(IsSafeRelativeName(name));
  ASSERT_EQ(Apply(GroupWriter("backup").StoredFile(name, "stored")), msg::kOk);
  EXPECT_FALSE(fs::exists(dir_.path() / "escaped.txt")) << "written outside the target folder";
  EXPECT_FALSE(Has("escaped.txt"));
  EXPECT_TRUE(session_->files.FileExists(Path(name))) << "where the name checks put it";
}

TEST_F(ApplyTest, StagingFailureLeavesTheOldFilesAndCleansUp) {
  Put("a.dll", kOld);
  // The second file has no known version: the first is staged, then all undone.
  EXPECT_EQ(Apply(GroupWriter("backup")
                      .File(ChainRecord("a.dll", {kOld}, kNew))
                      .File(ChainRecord("b.dll", {"unknown"}, kNew))),
            msg::kRequiredFileError);
  EXPECT_EQ(Read("a.dll"), kOld);
  EXPECT_FALSE(Has("PATCH0.TMP"));
  EXPECT_NE(ui_.log.find(MessageText(msg::kRequiredFileError, session_->names)), std::string::npos);
}

// Every staged file is flushed, and the flushes are waited for, before the
// first file is moved into place; when that wait fails, nothing is moved.
TEST_F(ApplyTest, StagedFilesReachTheDiskBeforeTheFirstMove) {
  const GroupWriter five = FiveFiles();
  testing::FaultyOs& faulty = Faulty();
  ASSERT_EQ(Apply(five), msg::kOk);
  const std::vector<std::string>& calls = faulty.calls();
  auto first = [&](const std::string& prefix) {
    return std::find_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }) -
           calls.begin();
  };
  const auto finish = first("FinishFlushes ");
  const auto last_flush = calls.rend() - std::find(calls.rbegin(), calls.rend(), std::string("Flush")) - 1;
  EXPECT_EQ(std::count(calls.begin(), calls.end(), std::string("Flush")), 5);
  EXPECT_LT(last_flush, finish);
  EXPECT_LT(finish, first("MoveFile "));
  EXPECT_EQ(calls[finish], "FinishFlushes " + Path("PATCH0.TMP"));
}

TEST_F(ApplyTest, AFailedWaitForTheFlushesMovesNothing) {
  const GroupWriter five = FiveFiles();
  Faulty().FailWhen([](const std::string& call) { return call.rfind("FinishFlushes ", 0) == 0; });
  EXPECT_EQ(Apply(five), msg::kDiskFull);
  ExpectFiveOld();
  EXPECT_FALSE(Has("PATCH0.TMP"));
  EXPECT_FALSE(Has("backup"));
}

TEST_F(ApplyTest, RegistryFailureRollsEveryFileBack) {
  Put("a.dll", kOld);
  Put("gone.txt", "x");
  const std::string block = RegistryBlockWriter(kHkcu, "Software\\App", "Path")
                                .OpenKey(kHkcu, "Software\\NotThere")
                                .SetValue("V", kRegSz, "x")
                                .Bytes();
  EXPECT_EQ(Apply(GroupWriter("backup")
                      .File(ChainRecord("a.dll", {kOld}, kNew))
                      .StoredFile("added.txt", "new")
                      .RemoveFile("gone.txt")
                      .Registry(block)),
            msg::kRegistryFailed);
  EXPECT_EQ(Read("a.dll"), kOld);
  EXPECT_EQ(Read("gone.txt"), "x");
  EXPECT_FALSE(Has("added.txt")) << "an added file goes again";
  EXPECT_FALSE(Has("backup"));
  EXPECT_FALSE(Has("PATCH0.TMP"));
  const std::string failed = MessageText(msg::kRegistryFailed, session_->names);
  EXPECT_EQ(ui_.log.find(failed), ui_.log.rfind(failed)) << "logged once";
  EXPECT_NE(ui_.log.find(failed), std::string::npos);
}

TEST_F(ApplyTest, RollbackLeavesCopiesOfEarlierAppliesAlone) {
  Put("a.dll", kOld);
  Put("current.dll", kNew);           // already the new version: not moved
  Put("backup/current.dll", "older");  // left by an earlier apply
  const std::string block = RegistryBlockWriter(kHkcu, "Software\\Missing", "Path").Bytes();
  EXPECT_EQ(Apply(GroupWriter("backup")
                      .File(ChainRecord("current.dll", {kOld}, kNew))
                      .File(ChainRecord("a.dll", {kOld}, kNew))
                      .Registry(block)),
            msg::kInstallPathMissing);
  EXPECT_EQ(Read("current.dll"), kNew);
  EXPECT_EQ(Read("backup/current.dll"), "older");
  EXPECT_EQ(Read("a.dll"), kOld);
}

TEST_F(ApplyTest, CancelDuringStagingTakesEffectAtTheCommitPass) {
  GroupWriter g = FiveFiles();
  ui_.cancel_at_pump = 1;  // the first record's pump during staging
  EXPECT_EQ(Apply(g), msg::kCancelled);
  ExpectFiveOld();
  EXPECT_FALSE(Has("PATCH0.TMP"));
  EXPECT_NE(ui_.log.find(MessageText(msg::kCancelled, session_->names)), std::string::npos);
}

TEST_F(ApplyTest, CommitStoppingAtTheFifthRecord) {
  // 37: the fifth staged file cannot be moved in after its old file went aside.
  GroupWriter g = FiveFiles();
  Faulty().FailWhen([&](const std::string& call) {
    return call.rfind("MoveFile ", 0) == 0 && call.find("PATCH0.TMP") != std::string::npos &&
           call.find("f5") != std::string::npos;
  });
  EXPECT_EQ(Apply(g), msg::kBadStructure);
  ExpectFiveOld();
  EXPECT_FALSE(Has("backup"));
  EXPECT_FALSE(Has("PATCH0.TMP"));
}

TEST_F(ApplyTest, CommitStoppingWithALockedBackupCopy) {
  GroupWriter g = FiveFiles();
  Put("backup/f5", "an older copy");
  Faulty().FailWhen([&](const std::string& call) {
    return call.rfind("DeleteFile ", 0) == 0 && call.find("backup\\f5") != std::string::npos;
  });
  EXPECT_EQ(Apply(g), msg::kBackupCopyLocked);
  ExpectFiveOld();
  EXPECT_EQ(Read("backup/f5"), "an older copy") << "not counted, not touched";
  EXPECT_EQ(session_->committed.size(), 4u);
}

// A file in use at the second record: the rest goes to the next start of Windows.
class DeferredTest : public ApplyTest {
 protected:
  GroupWriter ThreeRecordsWithRegistry() {
    Put("a.dll", kOld);
    Put("b.dll", kOld);
    Put("gone.txt", "x");
    return GroupWriter("backup")
        .File(ChainRecord("a.dll", {kOld}, kNew))
        .File(ChainRecord("b.dll", {kOld}, kNew))
        .StoredFile("c.txt", "added")
        .RemoveFile("gone.txt")
        .Registry(RegistryBlockWriter(kHkcu, "Software\\App", "Path")
                      .OpenKey(kHkcu, "Software\\App\\Settings")
                      .SetValue("V", kRegSz, "x")
                      .Bytes());
  }
  void BInUse() {
    Faulty().FailWhen([&](const std::string& call) {
      return call == "MoveFile " + Path("b.dll") + " " + Path("backup\\b.dll");
    });
  }
  std::string Staged(const std::string& name) const { return target_ + "\\PATCH0.TMP\\" + name; }
  using Moves = std::vector<std::pair<std::string, std::string>>;
};

TEST_F(DeferredTest, QueuesTheRestInScriptOrderAndAsksToRestart) {
  BInUse();
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kRestartDeclined);
  EXPECT_EQ(os_.delayed_moves(), (Moves{{Path("b.dll"), Path("backup\\b.dll")},
                                        {Staged("b.dll"), Path("b.dll")},
                                        {Staged("c.txt"), Path("c.txt")},
                                        {Path("gone.txt"), Path("backup\\gone.txt")}}));
  EXPECT_EQ(Read("a.dll"), kNew) << "committed before the file in use";
  EXPECT_EQ(Read("b.dll"), kOld);
  EXPECT_EQ(dir_.Read("app/PATCH0.TMP/b.dll"), kNew) << "staged files wait for the restart";
  EXPECT_EQ(os_.registry().Get(kHkcu, "Software\\App\\Settings", "V"), nullptr) << "no registry pass";
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0], MessageText(msg::kRestartQuestion, session_->names));
  EXPECT_EQ(ui_.log.substr(ui_.log.size() - 7), "<asked>") << "nothing logged after the question";
  EXPECT_EQ(os_.restart_requests(), 0);
}

TEST_F(DeferredTest, RestartAnsweredYes) {
  BInUse();
  ui_.answer_yes = true;
  os_.SetRestartGranted(true);
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kFileInUse);
  EXPECT_EQ(os_.restart_requests(), 1);

  os_.SetRestartGranted(false);
  fs::remove_all(dir_.path() / "app");
  SetUp();
  BInUse();
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kRestartDeclined) << "a refused restart";
}

TEST_F(DeferredTest, AnOlderBackupCopyIsRemovedFirst) {
  Put("backup/b.dll", "older");
  BInUse();
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kRestartDeclined);
  EXPECT_FALSE(Has("backup/b.dll")) << "else the delayed move of the old file would fail";
  EXPECT_EQ(os_.delayed_moves().front(), (std::pair<std::string, std::string>{Path("b.dll"), Path("backup\\b.dll")}));

  // One that cannot be deleted now (of a record behind the file in use) is
  // deleted at the restart, before the move.
  fs::remove_all(dir_.path() / "app");
  SetUp();
  Put("backup/gone.txt", "older");
  Faulty().FailWhen([&](const std::string& call) {
    return call == "MoveFile " + Path("b.dll") + " " + Path("backup\\b.dll") ||
           call == "DeleteFile " + Path("backup\\gone.txt");
  });
  const size_t before = os_.delayed_moves().size();
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kRestartDeclined);
  const Moves queued(os_.delayed_moves().begin() + before, os_.delayed_moves().end());
  EXPECT_EQ(queued, (Moves{{Path("b.dll"), Path("backup\\b.dll")},
                           {Staged("b.dll"), Path("b.dll")},
                           {Staged("c.txt"), Path("c.txt")},
                           {Path("backup\\gone.txt"), ""},
                           {Path("gone.txt"), Path("backup\\gone.txt")}}));
}

TEST_F(DeferredTest, WindowsNinetyFiveFamilyWritesWininit) {
  os_.SetVersion(0xC0000A04);
  BInUse();
  // A relative target folder: the lines carry absolute paths.
  const std::string cwd = fs::current_path().string();
  fs::current_path(dir_.path());
  target_ = "app";
  EXPECT_EQ(Apply(ThreeRecordsWithRegistry()), msg::kRestartDeclined);
  fs::current_path(cwd);
  const std::string base = dir_.path().string() + "\\app";
  using P = PosixOs::ProfileString;
  EXPECT_EQ(os_.profile_strings(),
            (std::vector<P>{{"rename", base + "\\backup\\b.dll", base + "\\b.dll", "WININIT.INI"},
                            {"rename", base + "\\b.dll", base + "\\PATCH0.TMP\\b.dll", "WININIT.INI"},
                            {"rename", base + "\\c.txt", base + "\\PATCH0.TMP\\c.txt", "WININIT.INI"},
                            {"rename", base + "\\backup\\gone.txt", base + "\\gone.txt", "WININIT.INI"}}));
  EXPECT_TRUE(os_.delayed_moves().empty());
}

// The registry pass on its own blocks.
class RegistryTest : public ApplyTest {
 protected:
  MessageId Run(const std::string& block) {
    return Apply(GroupWriter("backup").Registry(block));
  }
  RegistryBlockWriter Check() { return RegistryBlockWriter(kHkcu, "Software\\App", "Path"); }
  const MemoryRegistry::Value* Value(const std::string& name) {
    return os_.registry().Get(kHkcu, "Software\\App\\Settings", name);
  }
};

TEST_F(RegistryTest, Operations) {
  EXPECT_EQ(Run(Check().Bytes()), msg::kOk) << "only the check";
  os_.registry().Put(kHkcu, "Software\\App\\Settings", "Old", 4, "1234");
  EXPECT_EQ(Run(Check()
                    .OpenKey(kHkcu, "Software\\App\\Settings")
                    .Raw("\x03\x07\xFF")  // codes without operands, skipped
                    .SetValue("New", kRegSz, std::string("v\0", 2))
                    .SetValue("Old", 3, "")
                    .Bytes()),
            msg::kOk);
  EXPECT_EQ(Value("New")->data, std::string("v\0", 2));
  EXPECT_EQ(Value("Old")->type, 3u);
  EXPECT_EQ(Value("Old")->data, "") << "replaced, with empty data";
}

TEST_F(RegistryTest, Failures) {
  struct Case {
    const char* name;
    std::string block;
    MessageId expected;
  };
  std::string long_value = Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd();
  long_value += std::string("\x02\x01V\x01\x00\x00\x00\xEA\x03\x00\x00", 12) + std::string(1002, 'x') + '\0';
  std::string huge_value = Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd();
  huge_value += std::string("\x02\x01V\x01\x00\x00\x00\xFF\xFF\xFF\xFF", 12);
  const Case cases[] = {
      {"check_key_missing", RegistryBlockWriter(kHkcu, "Software\\None", "Path").Bytes(), msg::kInstallPathMissing},
      {"check_value_missing", RegistryBlockWriter(kHkcu, "Software\\App", "None").Bytes(), msg::kInstallPathMissing},
      {"open_missing_key", Check().OpenKey(kHkcu, "Software\\None").Bytes(), msg::kRegistryFailed},
      {"set_before_open", Check().SetValue("V", kRegSz, "x").Bytes(), msg::kRegistryFailed},
      {"value_of_1002_bytes", long_value, msg::kPatchDamaged},
      {"value_of_4_gib", huge_value, msg::kPatchDamaged},
      {"no_end", Check().OpenKey(kHkcu, "Software\\App\\Settings").BytesWithoutEnd(), msg::kPatchDamaged},
      {"cut_check", Check().Bytes().substr(0, 7), msg::kPatchDamaged},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.block), c.expected) << c.name;
    EXPECT_EQ(Value("V"), nullptr) << c.name;
  }
}

TEST_F(RegistryTest, EachRecordChecksOnItsOwn) {
  const std::string first = Check().OpenKey(kHkcu, "Software\\App\\Settings").Bytes();
  const std::string second = Check().SetValue("V", kRegSz, "x").Bytes();  // no key of its own
  EXPECT_EQ(Apply(GroupWriter("backup").Registry(first).Registry(second)), msg::kRegistryFailed);
  EXPECT_EQ(Value("V"), nullptr);
}

TEST_F(RegistryTest, BlockLengthBoundsTheReads) {
  // The block claims 10 bytes; its End lies beyond them, among the next record's bytes.
  const std::string block = Check().Bytes();
  ByteWriter raw;
  raw.U8(5).U32(10).Bytes(block);
  EXPECT_EQ(Apply(GroupWriter("backup").Raw(raw.bytes())), msg::kBadStructure)
      << "the bytes behind the block are no record";
  ByteWriter cut;
  cut.U8(5).U32(10).Bytes(block.substr(0, 10));
  EXPECT_EQ(Apply(GroupWriter("backup").Raw(cut.bytes())), msg::kPatchDamaged);
}

}  // namespace
}  // namespace ztx
