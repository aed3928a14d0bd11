// The process stops at any file operation of an apply: nothing is lost, no
// target holds a partial file, and running the patch again finishes the job.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "commit/apply_driver.h"
#include "platform/os_posix.h"
#include "tests/support/faulty_os.h"
#include "tests/support/patch_builder.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

struct Crash {};

// Passes calls to the real backend until operation k, where the process "stops":
// the call throws, and so does every later one but Close (the system closes a
// dead process's handles).
class CrashingOs final : public Os {
 public:
  CrashingOs(Os& real, int k) : real_(real), crash_at_(k) {}
  int operations() const { return count_; }

  FileHandle Open(const std::string& p, OpenMode m) override { return Step(), real_.Open(p, m); }
  FileHandle CreateScratch() override { return Step(), real_.CreateScratch(); }
  bool Read(FileHandle h, void* b, std::uint32_t n, std::uint32_t* d) override { return Step(), real_.Read(h, b, n, d); }
  bool Write(FileHandle h, const void* b, std::uint32_t n, std::uint32_t* d) override {
    return Step(), real_.Write(h, b, n, d);
  }
  bool Size(FileHandle h, std::uint64_t* s) override { return Step(), real_.Size(h, s); }
  bool Seek(FileHandle h, std::uint32_t p) override { return Step(), real_.Seek(h, p); }
  bool Tell(FileHandle h, std::uint32_t* p) override { return Step(), real_.Tell(h, p); }
  bool Flush(FileHandle h) override { return Step(), real_.Flush(h); }
  bool FinishFlushes(const std::string& folder) override { return Step(), real_.FinishFlushes(folder); }
  void Close(FileHandle h) override { real_.Close(h); }
  bool SetWriteTimeDos(FileHandle h, std::uint32_t t) override { return Step(), real_.SetWriteTimeDos(h, t); }
  std::uint32_t GetAttributes(const std::string& p) override { return Step(), real_.GetAttributes(p); }
  bool SetAttributes(const std::string& p, std::uint32_t a) override { return Step(), real_.SetAttributes(p, a); }
  bool DeleteFile(const std::string& p) override { return Step(), real_.DeleteFile(p); }
  bool MoveFile(const std::string& f, const std::string& t) override { return Step(), real_.MoveFile(f, t); }
  bool MakeFolder(const std::string& p) override { return Step(), real_.MakeFolder(p); }
  bool RemoveFolder(const std::string& p) override { return Step(), real_.RemoveFolder(p); }
  bool RegOpenKey(std::uint32_t r, const std::string& s, RegAccess a, RegKey* k) override {
    return Step(), real_.RegOpenKey(r, s, a, k);
  }
  bool RegQueryValue(RegKey k, const std::string& n, std::uint32_t c, std::string* d) override {
    return Step(), real_.RegQueryValue(k, n, c, d);
  }
  bool RegSetValue(RegKey k, const std::string& n, std::uint32_t t, const std::string& d) override {
    return Step(), real_.RegSetValue(k, n, t, d);
  }
  void RegCloseKey(RegKey k) override { real_.RegCloseKey(k); }
  std::string WindowsFolder() override { return real_.WindowsFolder(); }
  std::string SystemFolder() override { return real_.SystemFolder(); }
  std::uint32_t Version() override { return real_.Version(); }
  bool DelayedMove(const std::string& f, const std::string& t) override { return Step(), real_.DelayedMove(f, t); }
  bool WriteProfileString(const std::string& s, const std::string& k, const std::string& v,
                          const std::string& f) override {
    return Step(), real_.WriteProfileString(s, k, v, f);
  }
  std::string CurrentFolder() override { return real_.CurrentFolder(); }
  std::string ShortPath(const std::string& p) override { return real_.ShortPath(p); }
  bool RequestRestart() override { return Step(), real_.RequestRestart(); }
  std::string ProgramPath() override { return real_.ProgramPath(); }
  std::string CommandLine() override { return real_.CommandLine(); }

 private:
  void Step() {
    if (++count_ >= crash_at_) throw Crash{};
  }
  Os& real_;
  int crash_at_;
  int count_ = 0;
};

const std::map<std::string, std::string> kOld = {
    {"app.exe", "the program, version one, with its code"},
    {"data/table.dat", "a table of the first version"},
    {"old.txt", "dropped by version two"},
};
const std::map<std::string, std::string> kNew = {
    {"app.exe", "the program, version two, with better code"},
    {"data/table.dat", "a table of the second version, longer"},
    {"data/added.txt", "new in version two"},
};

class CrashRecoveryTest : public ::testing::Test {
 protected:
  GroupWriter Patch() {
    GroupWriter g("BACKUP");
    g.File(testing::ChainRecord("app.exe", {kOld.at("app.exe")}, kNew.at("app.exe")));
    g.File(testing::ChainRecord("data\\table.dat", {kOld.at("data/table.dat")}, kNew.at("data/table.dat")));
    g.StoredFile("data\\added.txt", kNew.at("data/added.txt"));
    g.RemoveFile("old.txt");
    return g;
  }
  void Reset() {
    fs::remove_all(dir_.path() / "app");
    for (const auto& [name, content] : kOld) {
      fs::create_directories((dir_.path() / "app" / name).parent_path());
      dir_.Write("app/" + name, content);
    }
  }
  MessageId Apply(Os& os) {
    UiHooks no_window;
    Session session(os, no_window);
    testing::LoadScript(session, BuildRecords({{LocationSpec{}, Patch()}}));
    session.requested_target = dir_ / "app";
    return ApplyPatch(session);
  }
  std::string Content(const std::string& name) {
    const fs::path p = dir_.path() / "app" / name;
    return fs::exists(p) ? dir_.Read("app/" + name) : "<missing>";
  }

  PosixOs os_;
  testing::TempFolder dir_;
};

TEST_F(CrashRecoveryTest, EveryStopLosesNothingAndARerunFinishes) {
  Reset();
  CrashingOs counting(os_, 1 << 30);
  ASSERT_EQ(Apply(counting), msg::kOk);
  const int operations = counting.operations();
  ASSERT_GT(operations, 20);

  for (int k = 1; k <= operations; ++k) {
    Reset();
    CrashingOs crashing(os_, k);
    bool crashed = false;
    try {
      Apply(crashing);
    } catch (const Crash&) {
      crashed = true;
    }
    ASSERT_TRUE(crashed) << k;
    // Every old file is whole at its place or in the backup folder, and every
    // file at its place is a whole version, old or new.
    for (const auto& [name, old] : kOld) {
      const std::string here = Content(name), aside = Content("BACKUP/" + name);
      const bool new_here = kNew.count(name) && here == kNew.at(name);
      EXPECT_TRUE(here == old || aside == old) << "stop " << k << ": " << name << " lost";
      EXPECT_TRUE(here == old || new_here || here == "<missing>") << "stop " << k << ": " << name << " is partial";
    }
    const std::string added = Content("data/added.txt");
    EXPECT_TRUE(added == "<missing>" || added == kNew.at("data/added.txt")) << "stop " << k;

    ASSERT_EQ(Apply(os_), msg::kOk) << "the rerun after stop " << k;
    for (const auto& [name, content] : kNew) EXPECT_EQ(Content(name), content) << "stop " << k << ": " << name;
    EXPECT_EQ(Content("old.txt"), "<missing>") << "stop " << k;
  }
}

}  // namespace
}  // namespace ztx
