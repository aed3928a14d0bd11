// The location pass against the POSIX backend's in-memory registry and its
// settable Windows and system folders (native only).
#include <gtest/gtest.h>

#include "commit/location.h"
#include "maker/script_writer.h"
#include "platform/os_posix.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

constexpr std::uint32_t kHklm = root_key::kLocalMachine;
constexpr std::uint32_t kRegSz = 1;

class RegistryLocationTest : public ::testing::Test {
 protected:
  MessageId Locate(const LocationSpec& loc) {
    testing::LoadScript(session_, BuildRecords({{loc, GroupWriter("b")}}));
    return RunLocationPass(session_);
  }
  static LocationSpec Reg(const std::string& sub_key, const std::string& value,
                          std::uint32_t root = kHklm) {
    return LocationSpec{LocationKind::kRegistryPath, root, sub_key, value};
  }
  const std::string& Folder() const { return session_.locations.rows[0].folder; }

  PosixOs os_;
  UiHooks ui_;
  Session session_{os_, ui_};
  testing::TempFolder dir_;
};

TEST_F(RegistryLocationTest, ValueHoldingAProgramPathLocatesItsFolder) {
  dir_.Write("game.exe", "MZ");
  os_.registry().Put(kHklm, "Software\\Maker\\Game", "InstallPath", kRegSz,
                     (dir_ / "game.exe") + std::string(1, '\0'));
  ASSERT_EQ(Locate(Reg("Software\\Maker\\Game", "InstallPath")), msg::kOk);
  EXPECT_EQ(Folder(), dir_.path().string() + "/");
  // The group starts right behind the value name.
  EXPECT_EQ(session_.locations.rows[0].group_position,
            2u + 4 + 1 + std::string("Software\\Maker\\Game").size() + 1 + 11);
}

TEST_F(RegistryLocationTest, ValueHoldingAFolderIsTakenUnchanged) {
  os_.registry().Put(kHklm, "Software\\Game", "Dir", 2 /* REG_EXPAND_SZ: type not looked at */,
                     dir_.path().string() + std::string("\0junk", 5));
  ASSERT_EQ(Locate(Reg("software\\GAME", "dir")), msg::kOk) << "names ignore ASCII case";
  EXPECT_EQ(Folder(), dir_.path().string());
}

TEST_F(RegistryLocationTest, EmptySubKeyAndEmptyValueName) {
  os_.registry().Put(root_key::kCurrentUser, "", "", kRegSz, "C:\\Game");
  ASSERT_EQ(Locate(Reg("", "", root_key::kCurrentUser)), msg::kOk);
  EXPECT_EQ(Folder(), "C:\\Game");
}

TEST_F(RegistryLocationTest, MissingOrEmptyInstallPathGives40) {
  os_.registry().Put(kHklm, "Software\\Game", "Empty", kRegSz, std::string(1, '\0'));
  os_.registry().Put(kHklm, "Software\\Game", "Long", kRegSz, std::string(1025, 'x'));
  os_.registry().AddKey(kHklm, "Software\\NoValues");
  EXPECT_EQ(Locate(Reg("Software\\Missing", "Path")), msg::kInstallPathMissing);
  EXPECT_EQ(Locate(Reg("Software\\NoValues", "Path")), msg::kInstallPathMissing);
  EXPECT_EQ(Locate(Reg("Software\\Game", "Empty")), msg::kInstallPathMissing);
  EXPECT_EQ(Locate(Reg("Software\\Game", "Long")), msg::kInstallPathMissing);
  EXPECT_EQ(Locate(Reg("Software\\Game", "Empty", 0x12345678)), msg::kInstallPathMissing)
      << "only predefined roots";
}

TEST_F(RegistryLocationTest, WindowsAndSystemFolders) {
  os_.SetWindowsFolder("C:\\WINDOWS");
  os_.SetSystemFolder("C:\\WINDOWS\\SYSTEM32");
  ASSERT_EQ(Locate(LocationSpec{LocationKind::kWindowsFolder}), msg::kOk);
  EXPECT_EQ(Folder(), "C:\\WINDOWS");
  EXPECT_EQ(session_.locations.rows[0].group_position, 2u);
  ASSERT_EQ(Locate(LocationSpec{LocationKind::kSystemFolder}), msg::kOk);
  EXPECT_EQ(Folder(), "C:\\WINDOWS\\SYSTEM32");
}

TEST_F(RegistryLocationTest, UnknownSystemFolderIsRefused) {
  // An empty folder would turn every name into one at the root of the drive.
  EXPECT_EQ(Locate(LocationSpec{LocationKind::kWindowsFolder}), msg::kInstallPathMissing);
  EXPECT_EQ(Locate(LocationSpec{LocationKind::kSystemFolder}), msg::kInstallPathMissing);
}

TEST_F(RegistryLocationTest, ProgramFolderPlusSystemFolder) {
  os_.SetSystemFolder("/sys32");
  std::vector<LocatedGroup> groups = {
      {LocationSpec{}, GroupWriter("bak").RemoveFile("a")},
      {LocationSpec{LocationKind::kSystemFolder}, GroupWriter("bak").RemoveFile("b")}};
  testing::LoadScript(session_, BuildRecords(groups));
  session_.requested_target = "app";
  ASSERT_EQ(RunLocationPass(session_), msg::kOk);
  EXPECT_EQ(session_.locations.last_row, 1);
  EXPECT_EQ(session_.locations.rows[0].folder, "app");
  EXPECT_EQ(session_.locations.rows[1].folder, "/sys32");
  EXPECT_EQ(session_.names.current_target_folder, "/sys32") << "the last entry's folder";
}

}  // namespace
}  // namespace ztx
