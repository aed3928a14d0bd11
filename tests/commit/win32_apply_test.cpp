// A file in use, for real: under Wine, against the Win32 backend.
#include "platform/win32_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "commit/apply_driver.h"
#include "tests/support/patch_builder.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

class AnsweringUi : public UiHooks {
 public:
  bool AskYesNo(const std::string&, const std::string&) override {
    ++asked;
    return false;
  }
  int asked = 0;
};

// The delayed moves Windows keeps for its next start, as one text.
std::string PendingRenames() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return "";
  }
  std::string data(1 << 16, '\0');
  DWORD size = static_cast<DWORD>(data.size());
  const LONG r = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  data.resize(r == ERROR_SUCCESS ? size : 0);
  return data;
}

TEST(Win32ApplyTest, FileInUseIsReplacedAtTheNextStart) {
  testing::TempFolder dir;
  const std::string target = dir / "app";
  fs::create_directories(dir.path() / "app");
  dir.Write("app/a.dll", "old a");
  dir.Write("app/b.dll", "old b");
  const GroupWriter group = GroupWriter("backup")
                                .File(testing::ChainRecord("a.dll", {"old a"}, "new a"))
                                .File(testing::ChainRecord("b.dll", {"old b"}, "new b"));
  // Another program has b.dll open, sharing reads but not deletion or renaming.
  HANDLE held = CreateFileA((target + "\\b.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  std::unique_ptr<Os> os = MakeNativeOs();
  AnsweringUi ui;
  Session session(*os, ui);
  testing::LoadScript(session, BuildRecords({{LocationSpec{}, group}}));
  session.requested_target = target;
  EXPECT_EQ(ApplyPatch(session), msg::kRestartDeclined);
  CloseHandle(held);

  EXPECT_EQ(ui.asked, 1);
  EXPECT_EQ(dir.Read("app/a.dll"), "new a") << "committed before the file in use";
  EXPECT_EQ(dir.Read("app/b.dll"), "old b");
  EXPECT_EQ(dir.Read("app/PATCH0.TMP/b.dll"), "new b") << "waits for the restart";
  const std::string pending = PendingRenames();
  EXPECT_NE(pending.find("backup\\b.dll"), std::string::npos) << "the old file goes aside";
  EXPECT_NE(pending.find("PATCH0.TMP\\b.dll"), std::string::npos) << "the new one comes in";
}

// Target folders whose paths bring the staged and backup paths to and past
// the 260 bytes of a Windows path: each apply either succeeds with every file
// new, or ends with a message and leaves every old file as it was, with no
// staging folder behind.
TEST(Win32ApplyTest, TargetPathsNearThePathLimit) {
  const std::string leaf = std::string(30, 'n') + ".dll";
  int tried = 0;
  for (size_t length : {60u, 200u, 225u, 240u, 245u, 250u, 255u, 259u}) {
    testing::TempFolder dir;
    std::string target = dir / "";
    target.pop_back();
    while (target.size() + 1 < length) {
      target += "\\" + std::string(std::min<size_t>(60, length - target.size() - 1), 'f');
    }
    target.resize(length, 'g');
    std::error_code ec;
    fs::create_directories(fs::path(target) / "sub", ec);
    if (ec) continue;  // deeper than this system lets a test make
    const std::string inside = target.substr(dir.path().string().size() + 1);
    dir.Write(inside + "\\a.dll", "old a");
    dir.Write(inside + "\\sub\\" + leaf, "old b");
    if (!fs::exists(fs::path(target) / "sub" / leaf)) {
      continue;  // longer than this system lets a test make
    }
    std::map<std::string, std::string> before;
    try {
      before = testing::Snapshot(fs::path(target));
    } catch (const fs::filesystem_error&) {
      continue;  // a tree this test cannot list
    }
    const GroupWriter group = GroupWriter("backup")
                                  .File(testing::ChainRecord("a.dll", {"old a"}, "new a"))
                                  .File(testing::ChainRecord("sub\\" + leaf, {"old b"}, "new b"));
    std::unique_ptr<Os> os = MakeNativeOs();
    AnsweringUi ui;
    Session session(*os, ui);
    testing::LoadScript(session, BuildRecords({{LocationSpec{}, group}}));
    session.requested_target = target;
    const MessageId r = ApplyPatch(session);
    const auto after = testing::Snapshot(fs::path(target));
    if (r == msg::kOk) {
      EXPECT_EQ(after.at("a.dll"), "new a") << length;
      EXPECT_EQ(after.at("sub/" + leaf), "new b") << length;
    } else {
      EXPECT_EQ(after, before) << "a failed apply at " << length << " bytes (message " << r
                               << ") leaves the folder as it was";
    }
    EXPECT_FALSE(fs::exists(fs::path(target) / "PATCH0.TMP")) << length;
    std::printf("target path of %zu bytes: message %d\n", length, r);
    ++tried;
  }
  EXPECT_GE(tried, 6);
}

}  // namespace
}  // namespace ztx
