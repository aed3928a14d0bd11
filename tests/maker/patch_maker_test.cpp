// Patches made from folder pairs, applied with the real engine: the result is
// the new folder, byte for byte.
#include "maker/patch_maker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "commit/apply_driver.h"
#include "maker/delta_encoder.h"
#include "tests/support/delta_runner.h"
#include "tests/support/script_fixture.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

namespace fs = std::filesystem;

// Applies `content` to a copy of `old_tree` and compares with `new_tree`.
void ExpectAppliesTo(const ContainerContent& content, const fs::path& old_tree, const fs::path& new_tree) {
  testing::TempFolder target;
  fs::copy(old_tree, target.path(), fs::copy_options::recursive);
  std::unique_ptr<Os> os = MakeNativeOs();
  UiHooks no_window;
  Session session(*os, no_window);
  testing::LoadScript(session, BuildScript(content).substr(content.description.size()));
  session.requested_target = target.path().string();
  ASSERT_EQ(ApplyPatch(session), msg::kOk);
  fs::remove_all(target.path() / "BACKUP");
  EXPECT_EQ(ListFiles(target.path()), ListFiles(new_tree));
  for (const std::string& f : ListFiles(new_tree)) {
    EXPECT_EQ(target.Read(f), testing::TempFolder::ReadFile(new_tree / f)) << f;
  }
}

class PatchMakerTest : public ::testing::Test {
 protected:
  void Put(const std::string& side, const std::string& name, const std::string& content) {
    fs::create_directories((dir_.path() / side / name).parent_path());
    dir_.Write(side + "/" + name, content);
  }
  MakeOptions Options(std::vector<std::string> olds) {
    MakeOptions o;
    for (const auto& old : olds) o.old_trees.push_back(dir_.path() / old);
    o.new_tree = dir_.path() / "new";
    return o;
  }
  testing::TempFolder dir_;
};

TEST_F(PatchMakerTest, AddsChangesRemovesAcrossSubFolders) {
  Put("old", "same.txt", "same");
  Put("old", "grows.txt", "short");
  Put("old", "shrinks.txt", "a longer text that loses its end");
  Put("old", "gone/away.txt", "bye");
  Put("old", "empty.txt", "");
  Put("new", "same.txt", "same");
  Put("new", "grows.txt", "short and then much longer");
  Put("new", "shrinks.txt", "a longer text");
  Put("new", "sub/deeper/added.bin", std::string("\0\1\2\3", 4));
  Put("new", "empty.txt", "now something");
  const ContainerContent content = MakePatchContent(Options({"old"}));
  ExpectAppliesTo(content, dir_.path() / "old", dir_.path() / "new");
}

TEST_F(PatchMakerTest, ChainsSeveralOldVersions) {
  Put("v1", "app.exe", "version one");
  Put("v2", "app.exe", "version two, a bit longer");
  Put("v3", "app.exe", "version three");
  Put("v3", "only-in-3.txt", "x");
  Put("new", "app.exe", "version four, the newest");
  const ContainerContent content = MakePatchContent(Options({"v1", "v2", "v3"}));
  for (const char* old : {"v1", "v2", "v3"}) ExpectAppliesTo(content, dir_.path() / old, dir_.path() / "new");
}

TEST_F(PatchMakerTest, RefusesWhatAPatchCannotCarry) {
  Put("old", "a.txt", "x");
  Put("new", "a.txt", "y");
  MakeOptions o = Options({"old"});
  o.description_utf8 = "\xF0\x9F\x98\x80";  // an emoji: no Big5 form
  EXPECT_THROW(MakePatchContent(o), std::runtime_error);
  o.description_utf8 = std::string(1003, 'd');
  EXPECT_THROW(MakePatchContent(o), std::runtime_error);
  Put("new", "\xF0\x9F\x98\x80.txt", "emoji name");
  EXPECT_THROW(MakePatchContent(Options({"old"})), std::runtime_error);
}

TEST(DeltaEncoderTest, RandomPairsRoundTrip) {
  std::mt19937 rng(3);
  auto bytes = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  };
  testing::TempFolder dir;
  std::unique_ptr<Os> os = MakeNativeOs();
  FileLayer files(*os);
  for (int round = 0; round < 40; ++round) {
    std::string from = bytes(rng() % 5000), to = from;
    for (int edit = 0, edits = static_cast<int>(rng() % 6); edit < edits; ++edit) {
      const size_t at = to.empty() ? 0 : rng() % to.size();
      to.insert(at, bytes(rng() % 50));
      if (!to.empty()) to.erase(rng() % to.size(), rng() % 30);
    }
    if (round % 7 == 0) to = bytes(rng() % 3000);
    const VersionSpec v = EncodeDelta(from, to);
    dir.Write("from", from);
    std::filesystem::remove(dir.path() / "to");
    ScopedFile in(files, files.OpenForRead(dir / "from"));
    ScopedFile out(files, files.CreateNewFile(dir / "to"));
    SourceVersion sv;
    sv.size = v.size;
    sv.tail_length_period = v.tail_length_period;
    sv.delta_flags = v.delta_flags;
    sv.insert_block_size = v.insert_block_size;
    UiHooks no_window;
    const DeltaResult r =
        testing::RunDelta(files, in.get(), out.get(), v.streams, sv, static_cast<std::uint32_t>(to.size()), no_window)
            .result;
    out.Reset();
    ASSERT_EQ(r.result, msg::kOk) << round;
    ASSERT_EQ(dir.Read("to"), to) << round;
  }
}

}  // namespace
}  // namespace ztx
