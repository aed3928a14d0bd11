// The location pass with the folders every system has: the user's folder.
#include "commit/location.h"

#include <gtest/gtest.h>

#include "core/records.h"
#include "maker/script_writer.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

using testing::TempFolder;

class TargetUi : public UiHooks {
 public:
  void SetTargetText(const std::string& folder) override { shown.push_back(folder); }
  std::vector<std::string> shown;
};

class LocationTest : public ::testing::Test {
 protected:
  MessageId Locate(const std::string& requested, const std::string& block) {
    testing::LoadScript(session_, block);
    session_.requested_target = requested;
    return RunLocationPass(session_);
  }
  std::string UserBlock() { return BuildRecords({{LocationSpec{}, GroupWriter("b")}}); }

  std::unique_ptr<Os> os_ = MakeNativeOs();
  TargetUi ui_;
  Session session_{*os_, ui_};
  TempFolder dir_;
};

TEST_F(LocationTest, UserFolderIsKeptAsGiven) {
  ASSERT_EQ(Locate(".", UserBlock()), msg::kOk);
  EXPECT_EQ(session_.locations.last_row, 0);
  EXPECT_EQ(session_.locations.rows[0].folder, ".");
  EXPECT_EQ(session_.locations.rows[0].group_position, 2u);
  EXPECT_EQ(session_.names.current_target_folder, ".");
  EXPECT_EQ(ui_.shown, (std::vector<std::string>{"."}));

  ASSERT_EQ(Locate(dir_ / "sub", UserBlock()), msg::kOk);
  EXPECT_EQ(session_.locations.rows[0].folder, dir_ / "sub") << "a folder need not exist";
}

TEST_F(LocationTest, EmptyUserFolderMeansTheCurrentFolder) {
  ASSERT_EQ(Locate("", UserBlock()), msg::kOk);
  EXPECT_EQ(session_.locations.rows[0].folder, ".");
}

TEST_F(LocationTest, PathOfAnExistingFileLocatesItsFolder) {
  dir_.Write("run.exe", "MZ");
  ASSERT_EQ(Locate(dir_ / "run.exe", UserBlock()), msg::kOk);
  const std::string folder = session_.locations.rows[0].folder;
  EXPECT_EQ(folder, (dir_ / "run.exe").substr(0, (dir_ / "run.exe").size() - 7));
  EXPECT_TRUE(folder.back() == '\\' || folder.back() == '/') << "keeps its trailing separator";
}

TEST_F(LocationTest, FolderOfPath) {
  FileLayer& files = session_.files;
  dir_.Write("run.exe", "MZ");
  EXPECT_EQ(FolderOfPath(files, dir_ / "missing.exe"), dir_ / "missing.exe");
  EXPECT_EQ(FolderOfPath(files, dir_.path().string()), dir_.path().string()) << "a folder";
  // A Big5 name whose second byte is a backslash is not cut in two.
  const std::string xu = "\xB3\x5C";
  files.Close(files.CreateNewFile(dir_ / xu));  // through the ANSI calls, as Big5
  EXPECT_EQ(FolderOfPath(files, dir_ / xu), (dir_ / xu).substr(0, (dir_ / xu).size() - 2));
}

TEST_F(LocationTest, BareFileNameOfAnExistingFileIsTheCurrentFolder) {
  // The tests run with their own folder as the current one? Not necessarily:
  // make a file in the current folder for the duration of the test.
  const std::string name = "ztx-location-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".exe";
  { std::ofstream(name) << "MZ"; }
  EXPECT_EQ(FolderOfPath(session_.files, name), ".");
  std::filesystem::remove(name);
}

TEST_F(LocationTest, DamagedBlocks) {
  EXPECT_EQ(Locate(".", ""), msg::kPatchDamaged) << "empty block";
  EXPECT_EQ(Locate(".", std::string("\x00", 1)), msg::kPatchDamaged) << "one byte";
  EXPECT_EQ(Locate(".", std::string("\x07\x00", 2)), msg::kPatchDamaged) << "unknown kind";
  EXPECT_EQ(Locate(".", std::string("\x01\x00\x02\x00\x00\x80\x05" "Soft", 11)), msg::kPatchDamaged)
      << "registry entry cut short";
  // A chain of 21 entries, each with an empty group.
  ByteWriter chain;
  for (int i = 0; i < 21; ++i) chain.U8(0).U8(kMoreEntries).String("b").U8(0);
  EXPECT_EQ(Locate(".", chain.bytes()), msg::kPatchDamaged);
  EXPECT_EQ(session_.locations.last_row, 19) << "never beyond the 20 rows";
  // A bad record in a group between two entries.
  ByteWriter bad;
  bad.U8(0).U8(kMoreEntries).String("b").U8(4).U8(0).U8(0).String("b").U8(0);
  EXPECT_EQ(Locate(".", bad.bytes()), msg::kBadStructure);
}

TEST_F(LocationTest, TwentyEntriesFit) {
  std::vector<LocatedGroup> groups;
  for (int i = 0; i < 20; ++i) groups.push_back({LocationSpec{}, GroupWriter("b").RemoveFile("f")});
  ASSERT_EQ(Locate(".", BuildRecords(groups)), msg::kOk);
  EXPECT_EQ(session_.locations.last_row, 19);
  EXPECT_EQ(CheckRecordGroups(session_), msg::kOk);
}

}  // namespace
}  // namespace ztx
