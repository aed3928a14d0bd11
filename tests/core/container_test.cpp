#include "core/container.h"

#include <gtest/gtest.h>

#include <set>

#include "maker/container_writer.h"
#include "tests/support/faulty_os.h"
#include "tests/support/temp_folder.h"

namespace ztx {
namespace {

using testing::FaultyOs;
using testing::TempFolder;

// A patch executable as bytes: a stand-in program followed by patch data, with
// verbs that damage it in one place each.
struct PatchFile {
  std::string program = "MZ" + std::string(3000, '\x90');
  std::string data;

  explicit PatchFile(const ContainerContent& content) {
    const auto bytes = BuildPatchData(content);
    data.assign(bytes.begin(), bytes.end());
  }
  std::string Bytes() const { return program + data; }
  size_t HeaderAt() const { return program.size(); }
  void SetDataLength(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[data.size() - 8 + i] = static_cast<char>(v >> (8 * i));
  }
  // Changes a text length and its copy, so that the text-block checks are reached.
  void SetHeaderU16(size_t offset, std::uint16_t v) {
    for (size_t at : {offset, offset - 74 + kFieldCopyOffset + 1}) {
      data[at] = static_cast<char>(v);
      data[at + 1] = static_cast<char>(v >> 8);
    }
  }
  // Flips one byte of the body.
  void DamageBody(size_t offset) { data[PatchHeader::kSize + offset] ^= 0x55; }
};

class RecordingUi : public UiHooks {
 public:
  void ShowDescription(const std::string& text) override {
    shown.push_back(text);
  }
  std::vector<std::string> shown;
};

std::string ScriptBytes(Session& s) {
  const std::uint32_t size = s.files.FileSize(s.script.handle());
  std::string out(size, '\0');
  s.script.SeekTo(0);
  EXPECT_TRUE(s.script.Read(out.data(), size));
  return out;
}

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>((i * 7 + i / 13) & 0xFF);
  return s;
}

class ContainerTest : public ::testing::Test {
 protected:
  MessageId Open(const std::string& bytes, Os* os = nullptr) {
    session_.reset();  // Windows cannot rewrite a file that is still open
    dir_.Write("patch.exe", bytes);
    session_ = std::make_unique<Session>(os ? *os : *os_, ui_);
    session_->names.program_path = dir_ / "patch.exe";
    return OpenPatchContainer(*session_);
  }
  std::unique_ptr<Os> os_ = MakeNativeOs();
  TempFolder dir_;
  RecordingUi ui_;
  std::unique_ptr<Session> session_;
};

TEST_F(ContainerTest, StoredBodyIsCopiedExactly) {
  ContainerContent c;
  c.compress = false;
  c.records = Pattern(2500);
  ASSERT_EQ(Open(PatchFile(c).Bytes()), msg::kOk);
  EXPECT_EQ(ScriptBytes(*session_), c.records);
  EXPECT_TRUE(ui_.shown.empty()) << "no description, nothing shown";
}

TEST_F(ContainerTest, DeflatedBodyUnpacksBeyondOneChunk) {
  ContainerContent c;
  c.records = std::string(200000, 'z') + Pattern(5000);  // far more than 1024 bytes per input chunk
  const PatchFile patch(c);
  ASSERT_LT(patch.data.size(), 4000u);
  ASSERT_EQ(Open(patch.Bytes()), msg::kOk);
  EXPECT_EQ(ScriptBytes(*session_), c.records);
}

TEST_F(ContainerTest, TextBlocksAreReadAndTheDescriptionPrepared) {
  ContainerContent c;
  c.skipped_text = "skip me, whatever I hold: \x00\xFF";
  c.description = "\xA7\xB9\xB2\xA6\nline 2\n";
  c.records = "LOC";
  ASSERT_EQ(Open(PatchFile(c).Bytes()), msg::kOk);
  EXPECT_EQ(session_->location_block_start, c.skipped_text.size() + c.description.size());
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0], "\xA7\xB9\xB2\xA6\x01line 2\x01");
  char loc[3];
  ASSERT_TRUE(session_->script.Read(loc, 3));
  EXPECT_EQ(std::string(loc, 3), "LOC");
}

TEST_F(ContainerTest, BytesAfterTheDeflateStreamAreIgnored) {
  ContainerContent c;
  c.records = Pattern(3000);
  PatchFile patch(c);
  patch.data.insert(patch.data.size() - 8, "trailing junk");
  patch.SetDataLength(static_cast<std::uint32_t>(patch.data.size()));
  ASSERT_EQ(Open(patch.Bytes()), msg::kOk);
  EXPECT_EQ(ScriptBytes(*session_), c.records);
}

struct DamageCase {
  const char* name;
  std::function<void(PatchFile&)> damage;
  MessageId expected;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class ContainerDamageTest : public ContainerTest,
                            public ::testing::WithParamInterface<DamageCase> {};

TEST_P(ContainerDamageTest, EndsWithTheRightMessage) {
  ContainerContent c;
  c.description = "about";
  c.records = Pattern(3000);
  PatchFile patch(c);
  GetParam().damage(patch);
  EXPECT_EQ(Open(patch.Bytes()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContainerDamageTest,
    ::testing::Values(
        DamageCase{"data_length_0", [](PatchFile& p) { p.SetDataLength(0); }, msg::kNotAPatch},
        DamageCase{"data_length_40", [](PatchFile& p) { p.SetDataLength(40); }, msg::kNotAPatch},
        DamageCase{"data_length_85", [](PatchFile& p) { p.SetDataLength(85); }, msg::kNotAPatch},
        DamageCase{"data_length_past_start",
                   [](PatchFile& p) { p.SetDataLength(static_cast<std::uint32_t>(p.Bytes().size() + 1)); },
                   msg::kNotAPatch},
        DamageCase{"data_length_max", [](PatchFile& p) { p.SetDataLength(0xFFFFFFFF); }, msg::kNotAPatch},
        DamageCase{"corrupt_deflate", [](PatchFile& p) { p.DamageBody(0); }, msg::kPatchDamaged},
        DamageCase{"truncated_deflate",
                   [](PatchFile& p) {
                     p.data.erase(PatchHeader::kSize + 20, p.data.size() - PatchHeader::kSize - 28);
                     p.SetDataLength(static_cast<std::uint32_t>(p.data.size()));
                   },
                   msg::kPatchDamaged},
        DamageCase{"description_1003", [](PatchFile& p) { p.SetHeaderU16(76, 1003); }, msg::kNoPatchInside},
        DamageCase{"description_65535", [](PatchFile& p) { p.SetHeaderU16(76, 65535); }, msg::kNoPatchInside},
        DamageCase{"skipped_text_past_end", [](PatchFile& p) { p.SetHeaderU16(74, 65535); }, msg::kNoPatchInside},
        DamageCase{"text_length_without_its_copy", [](PatchFile& p) { p.data[74] ^= 0x01; }, msg::kPatchDamaged},
        DamageCase{"flags_without_their_copy", [](PatchFile& p) { p.data[9] ^= 0x01; }, msg::kPatchDamaged},
        DamageCase{"script_crc", [](PatchFile& p) { p.data[kScriptCrcOffset] ^= 0x01; }, msg::kPatchDamaged},
        DamageCase{"stored_body_byte",
                   [](PatchFile& p) {
                     // A body written stored, one byte changed: only the CRC can tell.
                     ContainerContent c;
                     c.compress = false;
                     c.records = Pattern(300);
                     p = PatchFile(c);
                     p.DamageBody(100);
                   },
                   msg::kPatchDamaged}),
    [](const auto& info) { return std::string(info.param.name); });

// A signed patch: a PE whose security directory names a certificate table at the
// end of the file, behind the patch data and up to 7 bytes of zero padding.
std::string SignedPatch(const std::string& data, size_t padding, bool pe32_plus) {
  std::string pe(0x200, '\0');
  pe[0] = 'M';
  pe[1] = 'Z';
  pe[0x3C] = '\x80';  // e_lfanew
  pe.replace(0x80, 4, std::string("PE\0\0", 4));
  const size_t optional_header = 0x80 + 24;
  pe[optional_header] = pe32_plus ? '\x0B' : '\x0B';
  pe[optional_header + 1] = pe32_plus ? '\x02' : '\x01';
  const size_t security = optional_header + (pe32_plus ? 112 : 96) + 4 * 8;
  const std::string certificates = "certificate table ending in zeros\0\0\0\0\0\0\0\0";
  const std::uint32_t table = static_cast<std::uint32_t>(pe.size() + data.size() + padding);
  const std::uint32_t table_size = static_cast<std::uint32_t>(certificates.size());
  for (int i = 0; i < 4; ++i) {
    pe[security + i] = static_cast<char>(table >> (8 * i));
    pe[security + 4 + i] = static_cast<char>(table_size >> (8 * i));
  }
  return pe + data + std::string(padding, '\0') + certificates;
}

TEST_F(ContainerTest, FindsItsDataBeforeASignature) {
  ContainerContent c;
  c.description = "signed";
  c.records = Pattern(700);
  const PatchFile patch(c);
  for (bool pe32_plus : {false, true}) {
    for (size_t padding : {0u, 3u, 7u}) {
      ASSERT_EQ(Open(SignedPatch(patch.data, padding, pe32_plus)), msg::kOk) << padding << pe32_plus;
      EXPECT_EQ(ScriptBytes(*session_), "signed" + c.records);
    }
  }
  // A certificate table that does not end the file is no signature of ours.
  std::string moved = SignedPatch(patch.data, 0, true) + "x";
  EXPECT_EQ(Open(moved), msg::kNotAPatch);
}

TEST_F(ContainerTest, MissingProgramFile) {
  Session s(*os_, ui_);
  s.names.program_path = dir_ / "missing.exe";
  EXPECT_EQ(OpenPatchContainer(s), msg::kCannotOpenProgram);
}

TEST_F(ContainerTest, ProgramWithoutPatchData) {
  EXPECT_EQ(Open(""), msg::kNotAPatch);
  EXPECT_EQ(Open("MZ"), msg::kNotAPatch);
  EXPECT_EQ(Open("MZ" + std::string(5000, '\0')), msg::kNotAPatch);
}

// Cutting the file anywhere never crashes and never passes for a patch.
TEST_F(ContainerTest, EveryTruncationEndsWithAMessage) {
  for (bool compress : {true, false}) {
    ContainerContent c;
    c.compress = compress;
    c.description = "desc";
    c.records = Pattern(600);
    const std::string bytes = PatchFile(c).Bytes();
    std::set<MessageId> seen;
    for (size_t n = 0; n < bytes.size(); ++n) {
      const MessageId r = Open(bytes.substr(0, n));
      ASSERT_NE(r, msg::kOk) << "length " << n << " compress " << compress;
      seen.insert(r);
    }
    EXPECT_EQ(Open(bytes), msg::kOk);
    for (MessageId r : seen) EXPECT_TRUE(r == 1 || r == 14 || r == 16) << r;
  }
}

// Every single failing system operation ends the opening with the message of
// its step, never with success.
TEST_F(ContainerTest, EveryFailedOperationEndsWithItsMessage) {
  ContainerContent c;
  c.description = "desc";
  c.records = Pattern(5000);
  const std::string bytes = PatchFile(c).Bytes();
  FaultyOs counting(*os_);
  const MessageId first = Open(bytes, &counting);
  session_.reset();
  ASSERT_EQ(first, msg::kOk);
  const int operations = counting.operations();
  ASSERT_GT(operations, 10);
  for (int k = 1; k <= operations; ++k) {
    FaultyOs faulty(*os_);
    faulty.FailAt(k);
    const MessageId r = Open(bytes, &faulty);
    session_.reset();  // it holds handles of `faulty`, which ends here
    const std::string failed = faulty.calls()[k - 1];
    if (failed == "Close") continue;  // closing cannot fail
    EXPECT_NE(r, msg::kOk) << "operation " << k << " " << failed;
    if (failed.rfind("Open ", 0) == 0) {
      EXPECT_EQ(r, msg::kCannotOpenProgram);
    } else if (failed == "CreateScratch" || failed == "Write") {
      EXPECT_EQ(r, msg::kScratchFull) << k;
    }
  }
}

}  // namespace
}  // namespace ztx
