// The file helper layer against the backend of the build: the POSIX stand-in
// natively, the Win32 backend under Wine. The same expectations hold for both.
#include "core/file_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "core/patch_script.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;
using testing::FaultyOs;
using testing::TempFolder;

class FileLayerTest : public ::testing::Test {
 protected:
  std::unique_ptr<Os> os_ = MakeNativeOs();
  FileLayer files_{*os_};
  TempFolder dir_;
};

TEST_F(FileLayerTest, CreateNewFileRefusesAnExistingName) {
  dir_.Write("a.txt", "old");
  EXPECT_EQ(files_.CreateNewFile(dir_ / "a.txt"), kNullHandle);
  EXPECT_EQ(dir_.Read("a.txt"), "old");

  ScopedFile f(files_, files_.CreateNewFile(dir_ / "b.txt"));
  ASSERT_TRUE(f);
  EXPECT_TRUE(files_.WriteBytes(f.get(), "new", 3));
  f.Reset();
  EXPECT_EQ(dir_.Read("b.txt"), "new");
}

TEST_F(FileLayerTest, FileExistsOnlyForReadableFiles) {
  dir_.Write("file", "x");
  fs::create_directory(dir_.path() / "folder");
  EXPECT_TRUE(files_.FileExists(dir_ / "file"));
  EXPECT_FALSE(files_.FileExists(dir_ / "folder"));
  EXPECT_FALSE(files_.FileExists(dir_ / "missing"));
  // Folders are not files whichever way they are opened.
  EXPECT_EQ(files_.OpenReadWrite(dir_ / "folder"), kNullHandle);
}

TEST_F(FileLayerTest, DeleteFileForceDeletesReadOnlyFiles) {
  dir_.Write("ro", "x");
  ASSERT_TRUE(os_->SetAttributes(dir_ / "ro", attr::kReadOnly));
  EXPECT_FALSE(os_->DeleteFile(dir_ / "ro")) << "a plain delete must refuse a read-only file";
  EXPECT_TRUE(dir_.Exists("ro"));
  EXPECT_TRUE(files_.DeleteFileForce(dir_ / "ro"));
  EXPECT_FALSE(dir_.Exists("ro"));
  EXPECT_FALSE(files_.DeleteFileForce(dir_ / "ro"));
}

TEST_F(FileLayerTest, MoveFileToNeverReplaces) {
  dir_.Write("from", "1");
  dir_.Write("to", "2");
  EXPECT_FALSE(files_.MoveFileTo(dir_ / "from", dir_ / "to"));
  EXPECT_EQ(dir_.Read("from"), "1");
  EXPECT_EQ(dir_.Read("to"), "2");
  EXPECT_TRUE(files_.MoveFileTo(dir_ / "from", dir_ / "new"));
  EXPECT_FALSE(dir_.Exists("from"));
  EXPECT_EQ(dir_.Read("new"), "1");
}

TEST_F(FileLayerTest, IsPlainFolderWantsAFolderWithNoOtherAttribute) {
  fs::create_directory(dir_.path() / "plain");
  fs::create_directory(dir_.path() / "ro");
  dir_.Write("file", "x");
  ASSERT_TRUE(os_->SetAttributes(dir_ / "ro", attr::kReadOnly));
  EXPECT_TRUE(files_.IsPlainFolder(dir_ / "plain"));
  EXPECT_FALSE(files_.IsPlainFolder(dir_ / "file"));
  EXPECT_FALSE(files_.IsPlainFolder(dir_ / "missing"));
  if (testing::RunningUnderWine() && os_->GetAttributes(dir_ / "ro") == attr::kDirectory) {
    GTEST_SKIP() << "Wine keeps no read-only attribute on folders";
  }
  EXPECT_FALSE(files_.IsPlainFolder(dir_ / "ro"));
}

TEST_F(FileLayerTest, ShortReadsAndReadsAtTheEndFail) {
  dir_.Write("f", "abc");
  ScopedFile f(files_, files_.OpenForRead(dir_ / "f"));
  ASSERT_TRUE(f);
  char buffer[8];
  EXPECT_FALSE(files_.ReadBytes(f.get(), buffer, 4)) << "3 bytes are not 4";
  ASSERT_TRUE(files_.SeekTo(f.get(), 1));
  EXPECT_TRUE(files_.ReadBytes(f.get(), buffer, 2));
  EXPECT_EQ(std::string(buffer, 2), "bc");
  EXPECT_EQ(files_.CurrentPosition(f.get()), 3u);
  EXPECT_FALSE(files_.ReadBytes(f.get(), buffer, 1));
  EXPECT_TRUE(files_.ReadBytes(f.get(), buffer, 0));
}

TEST_F(FileLayerTest, ReadOnlyHandleCannotWrite) {
  dir_.Write("f", "abc");
  ScopedFile f(files_, files_.OpenForRead(dir_ / "f"));
  EXPECT_FALSE(files_.WriteBytes(f.get(), "x", 1));
  f.Reset();
  EXPECT_EQ(dir_.Read("f"), "abc");
}

TEST_F(FileLayerTest, FileSizeNeverMistakesAHugeFileForASmallOne) {
  dir_.Write("small", "12345");
  // Sparse: no disk space is used for the hole.
  { std::ofstream create(dir_.path() / "huge"); }
  fs::resize_file(dir_.path() / "huge", (std::uint64_t{1} << 32) + 100);
  ScopedFile small(files_, files_.OpenForRead(dir_ / "small"));
  ScopedFile huge(files_, files_.OpenForRead(dir_ / "huge"));
  EXPECT_EQ(files_.FileSize(small.get()), 5u);
  EXPECT_EQ(files_.FileSize(huge.get()), kFileSizeUnknown);
  EXPECT_FALSE(files_.SeekTo(huge.get(), 0x80000000u)) << "positions are signed 32-bit";
}

TEST_F(FileLayerTest, SetWriteTimeNeedsAWritableHandle) {
  dir_.Write("f", "x");
  const auto path = dir_.path() / "f";
  // 2001-02-03 04:05:06 and 2020-12-31 23:59:58, DOS date in the high half.
  const std::uint32_t early = ((21u << 9 | 2u << 5 | 3u) << 16) | (4u << 11 | 5u << 5 | 3u);
  const std::uint32_t late = ((40u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u);
  {
    ScopedFile f(files_, files_.OpenReadWrite(dir_ / "f"));
    files_.SetWriteTime(f.get(), late);
  }
  const auto late_time = fs::last_write_time(path);
  {
    ScopedFile f(files_, files_.OpenReadWrite(dir_ / "f"));
    files_.SetWriteTime(f.get(), early);
  }
  const auto early_time = fs::last_write_time(path);
  EXPECT_LT(early_time, late_time);
  EXPECT_NEAR(std::chrono::duration_cast<std::chrono::hours>(late_time - early_time).count(),
              (19 * 365 + 5 + 331) * 24 + 20, 2);
  if (testing::RunningUnderWine()) {
    GTEST_SKIP() << "Wine sets file times through handles without write access";
  }
  {
    ScopedFile f(files_, files_.OpenForRead(dir_ / "f"));
    files_.SetWriteTime(f.get(), late);
  }
  EXPECT_EQ(fs::last_write_time(path), early_time) << "a read-only handle changes nothing";
}

TEST_F(FileLayerTest, ScratchFileCarriesThePrefixAndVanishesOnClose) {
  // A private temporary folder (TMP for Windows, TMPDIR for POSIX).
  testing::ScopedEnv tmp("TMP", dir_.path().string());
  testing::ScopedEnv tmpdir("TMPDIR", dir_.path().string());
  const FileHandle h = files_.CreateScratchFile();
  ASSERT_NE(h, kNullHandle);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].rfind("ztx", 0), 0u) << names[0];
  // Windows names it .TMP, Wine .tmp.
  EXPECT_TRUE(names[0].ends_with(".TMP") || names[0].ends_with(".tmp")) << names[0];

  EXPECT_TRUE(files_.WriteBytes(h, "hello", 5));
  EXPECT_TRUE(files_.SeekTo(h, 0));
  char back[5];
  EXPECT_TRUE(files_.ReadBytes(h, back, 5));
  EXPECT_EQ(std::string(back, 5), "hello");
  files_.Close(h);
  EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(FileLayerTest, MakeParentFoldersCreatesEachFolderInOrder) {
  FaultyOs recording(*os_);
  FileLayer files(recording);
  files.MakeParentFolders(dir_ / "a\\b\\c.txt");
  EXPECT_TRUE(fs::is_directory(dir_.path() / "a" / "b"));
  EXPECT_FALSE(fs::exists(dir_.path() / "a" / "b" / "c.txt"));
  std::vector<std::string> made;
  for (const auto& call : recording.calls()) {
    if (call.rfind("MakeFolder ", 0) == 0) made.push_back(call.substr(11));
  }
  // Every ancestor is tried (and fails harmlessly where it exists), then a, then
  // a/b; the prefixes are joined with '/', which Windows takes too.
  ASSERT_GE(made.size(), 2u);
  EXPECT_TRUE(made[made.size() - 2].ends_with("/a")) << made[made.size() - 2];
  EXPECT_TRUE(made.back().ends_with("/a/b")) << made.back();

  FaultyOs quiet(*os_);
  FileLayer files2(quiet);
  files2.MakeParentFolders("name-without-separator");
  EXPECT_TRUE(quiet.calls().empty());
}

TEST_F(FileLayerTest, MakeParentFoldersKeepsBig5CharactersWhole) {
  // 許 is B3 5C and 功 is A5 5C: the 0x5C trail bytes are not separators.
  const std::string xu = "\xB3\x5C", gong = "\xA5\x5C";
  FaultyOs recording(*os_);
  FileLayer files(recording);
  files.MakeParentFolders(dir_ / (xu + "\\" + gong + ".txt"));
  std::vector<std::string> made;
  for (const auto& call : recording.calls()) {
    if (call.rfind("MakeFolder ", 0) == 0) made.push_back(call.substr(11));
  }
  ASSERT_FALSE(made.empty());
  EXPECT_TRUE(made.back().ends_with("/" + xu)) << made.back();
  EXPECT_TRUE(files.IsPlainFolder(dir_ / xu));
}

TEST_F(FileLayerTest, PruneEmptyFoldersRemovesInnermostFirstAsFarAsEmpty) {
  fs::create_directories(dir_.path() / "x" / "y");
  fs::create_directories(dir_.path() / "keep" / "y");
  dir_.Write("keep/other", "x");
  files_.PruneEmptyFolders(dir_.path().string(), "x\\y\\z.txt");
  files_.PruneEmptyFolders(dir_.path().string(), "keep\\y\\z.txt");
  EXPECT_FALSE(fs::exists(dir_.path() / "x"));
  EXPECT_FALSE(fs::exists(dir_.path() / "keep" / "y"));
  EXPECT_TRUE(fs::exists(dir_.path() / "keep" / "other"));
}

TEST_F(FileLayerTest, PruneEmptyFoldersNeverLeavesItsTree) {
  // An empty base, and empty folders above it, stay.
  fs::create_directories(dir_.path() / "outer" / "base" / "a");
  files_.PruneEmptyFolders(dir_ / "outer\\base", "a\\f.txt");
  EXPECT_FALSE(fs::exists(dir_.path() / "outer" / "base" / "a"));
  EXPECT_TRUE(fs::exists(dir_.path() / "outer" / "base"));

  FaultyOs recording(*os_);
  FileLayer files(recording);
  files.PruneEmptyFolders("T", "a\\.\\b\\..\\c/d\\f");
  EXPECT_EQ(recording.calls(), (std::vector<std::string>{"RemoveFolder T\\a\\c\\d", "RemoveFolder T\\a\\c",
                                                         "RemoveFolder T\\a"}));
}

// Script strings through a real scratch file.
class ScriptStringTest : public FileLayerTest {
 protected:
  void Load(const std::string& bytes) {
    script_.Attach(files_.CreateScratchFile());
    ASSERT_TRUE(files_.WriteBytes(script_.handle(), bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    ASSERT_TRUE(script_.SeekTo(0));
  }
  PatchScript script_{files_};
};

TEST_F(ScriptStringTest, ReadsLengthPrefixedStrings) {
  Load(std::string("\x00\x03" "abc" "\x04" "ab\0d" "\x05" "xy", 12));
  std::string text = "unchanged";
  EXPECT_TRUE(script_.ReadString(&text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(script_.Position(), 1u);
  EXPECT_TRUE(script_.ReadString(&text));
  EXPECT_EQ(text, "abc");
  EXPECT_TRUE(script_.ReadString(&text));
  EXPECT_EQ(text, "ab") << "a 0 byte ends the text";
  EXPECT_EQ(script_.Position(), 10u) << "but all stored bytes are consumed";
  EXPECT_FALSE(script_.ReadString(&text)) << "5 bytes announced, 2 stored";
}

TEST_F(ScriptStringTest, ReadsLittleEndianNumbers) {
  Load(std::string("\x34\x12\x78\x56\x34\x12\xFF", 7));
  std::uint16_t a;
  std::uint32_t b;
  std::uint8_t c;
  ASSERT_TRUE(script_.ReadU16(&a));
  ASSERT_TRUE(script_.ReadU32(&b));
  ASSERT_TRUE(script_.ReadU8(&c));
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0x12345678u);
  EXPECT_EQ(c, 0xFF);
  EXPECT_FALSE(script_.ReadU8(&c));
}

}  // namespace
}  // namespace ztx
