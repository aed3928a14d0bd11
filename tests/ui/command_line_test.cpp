#include "ui/command_line.h"

#include <gtest/gtest.h>

namespace ztx {
namespace {

struct Case {
  const char* name;
  std::string line;
  bool usage;
  std::string target;  // when no usage
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CommandLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, Parses) {
  const Case& c = GetParam();
  const CommandLine result = ParseCommandLine(c.line);
  EXPECT_EQ(result.show_usage, c.usage);
  if (!c.usage) {
    EXPECT_EQ(result.requested_target, c.target);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(
        Case{"no_argument", "patch.exe", false, "."},
        Case{"empty_line", "", false, "."},
        Case{"plain_target", "patch.exe C:\\Game", false, "C:\\Game"},
        Case{"quoted_target_with_spaces", "patch.exe \"C:\\Program Files\\Game\"", false,
             "C:\\Program Files\\Game"},
        Case{"quotes_inside_token", "patch.exe a\"b c\"d", false, "ab cd"},
        Case{"two_words", "patch.exe C:\\Program Files", true, ""},
        Case{"empty_quotes_before_target", "patch.exe \"\" target", false, "target"},
        Case{"extra_blanks", "   patch.exe    target   ", false, "target"},
        Case{"upper_case_h_is_a_target", "patch.exe -H", false, "-H"},
        Case{"lower_case_h", "patch.exe -h", true, ""},
        Case{"h_after_target", "patch.exe target -h", true, ""},
        Case{"h_as_program_name", "-h", true, ""},
        Case{"quoted_h", "patch.exe \"-h\"", true, ""},
        Case{"unterminated_quote", "patch.exe \"C:\\Game", false, "."},
        Case{"tab_does_not_separate", "patch.exe\tC:\\Game", false, "."},
        Case{"quoted_program_name", "\"C:\\My Downloads\\patch.exe\" D:\\Game", false, "D:\\Game"},
        Case{"big5_target", "patch.exe \"C:\\\xB3\x5C\xA5\x5C\"", false, "C:\\\xB3\x5C\xA5\x5C"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ztx
