// Deterministic corruption sweeps: bytes of a real patch replaced one at a time.
// Every run ends with a message; a run that reports success has rebuilt every
// file exactly (their CRCs are checked), and a run that fails leaves the folder
// as it was. Nothing outside the folder is touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "maker/container_writer.h"
#include "platform/os_posix.h"
#include "tests/support/patch_builder.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> kOld = {
    {"app.exe", "the program, version one, with its code and tables"},
    {"data/table.dat", "a table of numbers: 1 2 3 4 5 6 7 8 9"},
    {"gone.txt", "dropped"}};
const std::map<std::string, std::string> kNew = {
    {"app.exe", "the program, version two, with its better code and tables"},
    {"data/table.dat", "a table of numbers: 1 2 3 5 8 13 21 34"}};

class CorruptionSweepTest : public ::testing::Test {
 protected:
  // The appended data of the fixture, body stored so that script bytes lie in
  // the file as they are.
  static std::string Data() {
    ContainerContent c;
    c.compress = false;
    c.description = "sweep";
    c.records = BuildRecords({{LocationSpec{}, GroupWriter("BACKUP")
                                                   .File(testing::ChainRecord("app.exe", {kOld.at("app.exe")},
                                                                              kNew.at("app.exe")))
                                                   .File(testing::ChainRecord("data\\table.dat",
                                                                              {kOld.at("data/table.dat")},
                                                                              kNew.at("data/table.dat")))
                                                   .RemoveFile("gone.txt")}});
    const auto bytes = BuildPatchData(c);
    return std::string(bytes.begin(), bytes.end());
  }
  // Applies `data` to a fresh old tree; checks the rules; returns the result.
  MessageId Check(const std::string& data, const std::string& what) {
    fs::remove_all(dir_.path() / "app");
    for (const auto& [name, content] : kOld) {
      fs::create_directories((dir_.path() / "app" / name).parent_path());
      dir_.Write("app/" + name, content);
    }
    const auto before = testing::Snapshot(dir_.path());
    dir_.Write("patch.exe", "MZ" + data);
    MessageId r = msg::kOk;
    {
      UiHooks no_window;
      Session session(os_, no_window);
      session.names.program_path = dir_ / "patch.exe";
      session.requested_target = dir_ / "app";
      r = OpenPatchContainer(session);
      if (r == msg::kOk) r = ApplyPatch(session);
    }
    auto after = testing::Snapshot(dir_.path());
    if (r == msg::kOk) {
      for (const auto& [name, content] : kNew) EXPECT_EQ(after["app/" + name], content) << what;
    } else {
      after.erase("patch.exe");
      auto expected = before;
      expected.erase("patch.exe");
      EXPECT_EQ(after, expected) << what << " ended with " << r;
    }
    EXPECT_EQ(after["sibling/keep.txt"], "untouched") << what;
    return r;
  }
  void SetUp() override {
    fs::create_directories(dir_.path() / "sibling");
    dir_.Write("sibling/keep.txt", "untouched");
  }
  PosixOs os_;
  testing::TempFolder dir_;
};

TEST_F(CorruptionSweepTest, EveryHeaderAndEarlyScriptByte) {
  const std::string data = Data();
  ASSERT_EQ(Check(data, "intact"), msg::kOk);
  const size_t sweep = std::min(data.size() - 8, size_t{PatchHeader::kSize + 512});
  for (size_t at = 0; at < sweep; ++at) {
    for (int change : {0x01, 0x80, 0xFF}) {
      std::string bad = data;
      bad[at] = static_cast<char>(bad[at] ^ change);
      Check(bad, "byte " + std::to_string(at) + " ^ " + std::to_string(change));
    }
  }
}

TEST_F(CorruptionSweepTest, EverySixtyFourthByteAndTheTrailer) {
  const std::string data = Data();
  for (size_t at = 0; at < data.size(); at += at + 8 < data.size() ? 64 : 1) {
    std::string bad = data;
    bad[at] = static_cast<char>(~bad[at]);
    Check(bad, "byte " + std::to_string(at));
  }
}

}  // namespace
}  // namespace ztx
