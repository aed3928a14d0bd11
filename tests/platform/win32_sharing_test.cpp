// Share modes and files in use: behaviour that only Windows has, run under Wine
// against the Win32 backend.
#include "platform/win32_names.h"

#include <gtest/gtest.h>

#include "core/file_layer.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wine.h"

namespace ztx {
namespace {

class Win32SharingTest : public ::testing::Test {
 protected:
  HANDLE Hold(const std::string& name, DWORD access, DWORD share) {
    HANDLE h = CreateFileA((dir_ / name).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
  }
  std::unique_ptr<Os> os_ = MakeNativeOs();
  FileLayer files_{*os_};
  testing::TempFolder dir_;
};

TEST_F(Win32SharingTest, FileOpenForWritingElsewhereCountsAsAbsent) {
  dir_.Write("busy", "x");
  HANDLE writer = Hold("busy", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_FALSE(files_.FileExists(dir_ / "busy"));
  CloseHandle(writer);
  EXPECT_TRUE(files_.FileExists(dir_ / "busy"));
}

TEST_F(Win32SharingTest, FileHeldWithoutSharingCountsAsAbsent) {
  dir_.Write("locked", "x");
  HANDLE locked = Hold("locked", GENERIC_READ, 0);
  EXPECT_FALSE(files_.FileExists(dir_ / "locked"));
  EXPECT_EQ(files_.OpenReadWrite(dir_ / "locked"), kNullHandle);
  CloseHandle(locked);
}

TEST_F(Win32SharingTest, ReadersShareButNewFilesAreUnshared) {
  dir_.Write("shared", "x");
  HANDLE reader = Hold("shared", GENERIC_READ, FILE_SHARE_READ);
  EXPECT_TRUE(files_.FileExists(dir_ / "shared"));
  CloseHandle(reader);

  ScopedFile created(files_, files_.CreateNewFile(dir_ / "new"));
  ASSERT_TRUE(created);
  EXPECT_FALSE(files_.FileExists(dir_ / "new")) << "a file being created is nobody else's";
}

TEST_F(Win32SharingTest, ScratchFileCannotBeOpenedByOthers) {
  testing::ScopedEnv tmp("TMP", dir_.path().string());
  ScopedFile scratch(files_, files_.CreateScratchFile());
  ASSERT_TRUE(scratch);
  const auto entry = *std::filesystem::directory_iterator(dir_.path());
  EXPECT_FALSE(files_.FileExists(entry.path().string()));
}

TEST_F(Win32SharingTest, FolderWithArchiveAttributeIsNotPlain) {
  const std::string folder = dir_ / "archived";
  ASSERT_TRUE(files_.MakeFolder(folder));
  EXPECT_TRUE(files_.IsPlainFolder(folder));
  ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE));
  if (testing::RunningUnderWine() && GetFileAttributesA(folder.c_str()) == FILE_ATTRIBUTE_DIRECTORY) {
    GTEST_SKIP() << "Wine keeps no archive attribute on folders";
  }
  EXPECT_FALSE(files_.IsPlainFolder(folder));
}

TEST_F(Win32SharingTest, HiddenAndSystemFilesAreDeletedByForce) {
  dir_.Write("h", "x");
  ASSERT_TRUE(SetFileAttributesA((dir_ / "h").c_str(),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(files_.DeleteFileForce(dir_ / "h"));
  EXPECT_FALSE(dir_.Exists("h"));
}

}  // namespace
}  // namespace ztx
