// The location pass against the real registry and folders of Windows, under Wine.
#include "platform/win32_names.h"

#include <gtest/gtest.h>

#include "commit/location.h"
#include "maker/script_writer.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

class Win32LocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }
  MessageId Locate(const LocationSpec& loc) {
    testing::LoadScript(session_, BuildRecords({{loc, GroupWriter("b")}}));
    return RunLocationPass(session_);
  }
  static constexpr const char* kKey = "Software\\ztx-location-test";
  HKEY key_ = nullptr;
  std::unique_ptr<Os> os_ = MakeNativeOs();
  UiHooks ui_;
  Session session_{*os_, ui_};
  testing::TempFolder dir_;
};

TEST_F(Win32LocationTest, RegistryInstallPath) {
  dir_.Write("game.exe", "MZ");
  const std::string exe = dir_ / "game.exe";
  ASSERT_EQ(RegSetValueExA(key_, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(exe.c_str()),
                           static_cast<DWORD>(exe.size() + 1)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key_, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
            ERROR_SUCCESS);
  const LocationSpec path{LocationKind::kRegistryPath, root_key::kCurrentUser, kKey, "Path"};
  ASSERT_EQ(Locate(path), msg::kOk);
  EXPECT_EQ(session_.locations.rows[0].folder, dir_.path().string() + "\\");
  const LocationSpec empty{LocationKind::kRegistryPath, root_key::kCurrentUser, kKey, "Empty"};
  EXPECT_EQ(Locate(empty), msg::kInstallPathMissing);
  const LocationSpec missing{LocationKind::kRegistryPath, root_key::kCurrentUser, kKey, "None"};
  EXPECT_EQ(Locate(missing), msg::kInstallPathMissing);
}

TEST_F(Win32LocationTest, WindowsAndSystemFolders) {
  char windows[MAX_PATH], system[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_EQ(Locate(LocationSpec{LocationKind::kWindowsFolder}), msg::kOk);
  EXPECT_EQ(session_.locations.rows[0].folder, windows);
  ASSERT_EQ(Locate(LocationSpec{LocationKind::kSystemFolder}), msg::kOk);
  EXPECT_EQ(session_.locations.rows[0].folder, system);
}

}  // namespace
}  // namespace ztx
