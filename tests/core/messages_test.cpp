#include "core/messages.h"

#include <gtest/gtest.h>

namespace ztx {
namespace {

const std::string kCurrentFolder = "\xA5\xD8\xAB" "e\xA9\xD2\xA6" "b\xAA\xBA\xB8\xEA\xAE\xC6\xA7\xA8 ";

TEST(MessageTableTest, TextsAreExactBig5Bytes) {
  // 完畢%n
  EXPECT_EQ(MessageTemplate(36), "\xA7\xB9\xB2\xA6%n");
  // (沒有符合的來源檔案)%n
  EXPECT_EQ(MessageTemplate(31), "(\xA8S\xA6\xB3\xB2\xC5\xA6X\xAA\xBA\xA8\xD3\xB7\xBD\xC0\xC9\xAE\xD7)%n");
  // 用法 : Patchname.exe [路徑]%n
  EXPECT_EQ(MessageTemplate(28), "\xA5\xCE\xAAk : Patchname.exe [\xB8\xF4\xAE|]%n");
  // The first message: 錯誤! 這個更新程式壞掉囉! (with its trailing blank)
  EXPECT_EQ(MessageTemplate(1),
            "\xBF\xF9\xBB~! \xB3o\xAD\xD3\xA7\xF3\xB7s\xB5{\xA6\xA1\xC3" "a\xB1\xBC\xC5o! ");
  // 12 carries two blanks in its middle and no trailing one.
  const std::string m12 = MessageTemplate(12);
  EXPECT_NE(m12.find("\xA1H  \xBD\xD0"), std::string::npos);
  EXPECT_EQ(m12.back(), '!');
  EXPECT_EQ(RestartCaption().size(), 36u);
  EXPECT_EQ(RestartCaption().substr(0, 4), "\xA7\xF3\xB7s");  // 更新
}

TEST(MessageTableTest, EveryIdFromOneTo41HasATextButTwo) {
  for (MessageId id = 1; id <= 41; ++id) {
    EXPECT_EQ(MessageTemplate(id).empty(), id == 2) << "id " << id;
  }
  EXPECT_EQ(MessageTemplate(0), "");
  EXPECT_EQ(MessageTemplate(42), "");
  EXPECT_EQ(MessageTemplate(-1), "");
}

TEST(MessageTableTest, NineAndTenAreOneText) {
  const MessageNames names{"C:\\p.exe", "f", "d"};
  EXPECT_EQ(MessageText(9, names), MessageText(10, names));
  EXPECT_FALSE(MessageText(9, names).empty());
}

TEST(MessageTableTest, SuccessEndsWithALineBreak) {
  const std::string t = MessageTemplate(msg::kSuccess);
  EXPECT_EQ(t.substr(t.size() - 2), "%n");
  EXPECT_EQ(MessageText(msg::kSuccess, {}).back(), '\r');
}

struct ExpandCase {
  const char* name;
  std::string templ;
  MessageNames names;
  std::string expected;
};

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class ExpandMessageTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandMessageTest, Expands) {
  const ExpandCase& c = GetParam();
  EXPECT_EQ(ExpandMessage(c.templ, c.names), c.expected);
}

const MessageNames kNames{"C:\\dl\\patch.exe", "bin\\a.dll", "D:\\app"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandMessageTest,
    ::testing::Values(
        ExpandCase{"plain", "abc", kNames, "abc"},
        ExpandCase{"all_four", "%p|%m|%s|%n", kNames, "C:\\dl\\patch.exe|bin\\a.dll|D:\\app|\r"},
        ExpandCase{"trailing_percent", "50%", kNames, "50%"},
        ExpandCase{"lone_percent", "%", kNames, "%"},
        ExpandCase{"other_letter", "%x%N%1", kNames, "%x%N%1"},
        ExpandCase{"double_percent_n", "%%n", kNames, "%\r"},
        ExpandCase{"dot", "[%s]", {"", "", "."}, "[" + kCurrentFolder + "]"},
        ExpandCase{"dot_backslash", "[%s]", {"", "", ".\\"}, "[" + kCurrentFolder + "]"},
        ExpandCase{"dot_backslash_name", "[%s]", {"", "", ".\\app"}, "[app]"},
        ExpandCase{"two_dots", "[%s]", {"", "", "..\\app"}, "[..\\app]"},
        ExpandCase{"empty_value", "[%m]", {"", "", ""}, "[]"},
        ExpandCase{"value_not_expanded_again", "%m", {"", "50%n", ""}, "50%n"},
        ExpandCase{"big5_around", "\xA7\xB9%m\xB2\xA6", {"", "f", ""}, "\xA7\xB9" "f\xB2\xA6"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MessageTextTest, WorkingOnFileWithoutNameShowsEmptyBrackets) {
  const std::string text = MessageText(msg::kWorkingOnFile, {});
  EXPECT_NE(text.find("\xA1u\xA1v"), std::string::npos) << "「」 with nothing between";
}

class RecordingUi : public UiHooks {
 public:
  void LogPutChar(char b) override { fed += b; }
  void LogFlushWord() override { fed += "<flush>"; }
  std::string fed;
};

TEST(LogMessageTest, FeedsTheExpandedTextThenFlushes) {
  RecordingUi ui;
  LogMessage(msg::kDone, {}, ui);
  EXPECT_EQ(ui.fed, "\xA7\xB9\xB2\xA6\r<flush>");
}

}  // namespace
}  // namespace ztx
