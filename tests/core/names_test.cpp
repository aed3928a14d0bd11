#include "core/names.h"

#include <gtest/gtest.h>

namespace ztx {
namespace {

struct NameCase {
  const char* name;
  std::string value;
  bool safe_file_name;
  bool safe_backup_folder;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class NamesTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NamesTest, Judges) {
  const NameCase& c = GetParam();
  EXPECT_EQ(IsSafeRelativeName(c.value), c.safe_file_name) << c.value;
  EXPECT_EQ(IsSafeBackupFolder(c.value), c.safe_backup_folder) << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamesTest,
    ::testing::Values(
        NameCase{"plain", "game.exe", true, true},
        NameCase{"sub_folder", "data\\maps\\one.map", true, true},
        NameCase{"forward_slash", "data/one.map", true, true},
        NameCase{"dot_prefix", ".\\game.exe", true, true},
        NameCase{"dotdot_inside", "data\\..\\game.exe", true, true},
        NameCase{"big5_with_5c_trail", "\xB3\x5C\\\xA5\x5C.txt", true, true},  // 許\功.txt
        NameCase{"big5_trail_pipe", "\xA1\x7C.txt", true, true},  // trail byte 0x7C is no '|'
        NameCase{"empty", "", false, false},
        NameCase{"dot", ".", false, false},
        NameCase{"climbs_out", "..\\evil.dll", false, false},
        NameCase{"climbs_out_later", "a\\..\\..\\evil.dll", false, false},
        NameCase{"back_to_target", "a\\..", false, false},
        NameCase{"rooted", "\\Windows\\evil.dll", false, false},
        NameCase{"rooted_slash", "/etc/passwd", false, false},
        NameCase{"unc", "\\\\server\\share\\x", false, false},
        NameCase{"long_path_prefix", "\\\\?\\C:\\x", false, false},
        NameCase{"drive", "C:\\evil.dll", false, false},
        NameCase{"drive_relative", "C:evil.dll", false, false},
        NameCase{"stream", "game.exe:hidden", false, false},
        NameCase{"device", "NUL", false, false},
        NameCase{"device_lower_with_extension", "con.txt", false, false},
        NameCase{"device_in_folder", "data\\COM1", false, false},
        NameCase{"lpt", "lpt9.log", false, false},
        NameCase{"console_input", "CONIN$", false, false},
        NameCase{"not_a_device", "CONSOLE.txt", true, true},
        NameCase{"trailing_dot", "game.", false, false},
        NameCase{"dotdot_blank", "a\\.. \\..\\x", false, false},
        NameCase{"wildcard", "*.dll", false, false},
        NameCase{"control_char", "a\x01" "b", false, false},
        NameCase{"staging_folder", "PATCH0.TMP", true, false},
        NameCase{"staging_folder_lower", "patch12.tmp", true, false},
        NameCase{"staging_folder_below", ".\\PATCH3.TMP\\old", true, false},
        NameCase{"not_staging", "PATCHES.TMP", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ztx
