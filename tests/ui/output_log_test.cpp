#include "ui/output_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/messages.h"

namespace ztx {
namespace {

// A list that applies the view operations the way a list box does.
class RecordingView : public LogView {
 public:
  void AddItem(const std::string& text) override { items.push_back(text); }
  void DeleteItem(int index) override {
    ASSERT_GE(index, 0);
    ASSERT_LT(index, static_cast<int>(items.size()));
    items.erase(items.begin() + index);
  }
  void SetTopIndex(int index) override { top = index; }
  void ResetContent() override { items.clear(); }
  void SetRedraw(bool on) override {
    EXPECT_EQ(on, redraw_off) << "redraw switched twice the same way";
    redraw_off = !on;
  }
  std::vector<std::string> items;
  int top = -1;
  bool redraw_off = false;
};

class OutputLogTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) {
    for (char c : text) log_.PutChar(c);
    log_.FlushWord();
  }
  using Items = std::vector<std::string>;
  RecordingView view_;
  int pumps_ = 0;
  OutputLog log_{view_, [this] { ++pumps_; }};
};

TEST_F(OutputLogTest, LineEndsAndEmptyLines) {
  Put("one two\r\r");
  EXPECT_EQ(view_.items, (Items{"one two", ""}));
  Put("\rthree");
  EXPECT_EQ(view_.items, (Items{"one two", "", "", "three"}));
  EXPECT_EQ(view_.top, 3);
  EXPECT_GT(pumps_, 0);
}

TEST_F(OutputLogTest, CheckingMessageGivesALineAndAnEmptyItem) {
  Put(MessageText(msg::kChecking, {}));
  ASSERT_EQ(view_.items.size(), 2u);
  EXPECT_EQ(view_.items[1], "");
}

TEST_F(OutputLogTest, FileLineAndDoneShareOneLine) {
  const MessageNames names{"", "a.dll", ""};
  Put(MessageText(msg::kWorkingOnFile, names));
  Put(MessageText(msg::kDone, names));
  ASSERT_EQ(view_.items.size(), 1u);
  const std::string line = view_.items[0];
  EXPECT_EQ(line, MessageText(msg::kWorkingOnFile, names) + "\xA7\xB9\xB2\xA6");
  EXPECT_EQ(line.substr(line.size() - 7, 3), " : ");
}

TEST_F(OutputLogTest, WrapsAt78Bytes) {
  const std::string w78(78, 'a'), w68(68, 'b'), w69(69, 'c'), w9(9, 'd');
  Put(w78 + " x");
  EXPECT_EQ(view_.items, (Items{w78 + " ", "x"}));

  log_.Clear();
  Put(w9 + " " + w68);  // 10 bytes on the line, 68 more fit
  EXPECT_EQ(view_.items, (Items{w9 + " " + w68}));

  log_.Clear();
  Put(w9 + " " + w69);  // 69 do not
  EXPECT_EQ(view_.items, (Items{w9 + " ", w69}));
}

TEST_F(OutputLogTest, LongWordStandsAloneWithoutEmptyItemBefore) {
  const std::string w90(90, 'w');
  Put(w90 + " next");
  EXPECT_EQ(view_.items, (Items{w90 + " ", "next"}));
}

TEST_F(OutputLogTest, BlanksAndLineFeedsStayInTheLine) {
  Put("a   b\nc");
  EXPECT_EQ(view_.items, (Items{"a   b\nc"}));
}

TEST_F(OutputLogTest, Big5WidthIsCountedInBytes) {
  // 39 double-byte characters are 78 bytes: a full line.
  std::string chars;
  for (int i = 0; i < 39; ++i) chars += "\xA7\xB9";
  Put(chars + " \xA7\xB9");
  EXPECT_EQ(view_.items, (Items{chars + " ", "\xA7\xB9"}));
}

TEST_F(OutputLogTest, ClearStartsAFreshLineAtItemZero) {
  Put(std::string(70, 'a'));
  log_.Clear();
  EXPECT_TRUE(view_.items.empty());
  Put(std::string(20, 'b'));
  EXPECT_EQ(view_.items, (Items{std::string(20, 'b')}));
  EXPECT_EQ(view_.top, 0);
}

TEST_F(OutputLogTest, ALineWithoutEndIsContinuedByTheNextText) {
  Put("first");
  Put(" second");
  EXPECT_EQ(view_.items, (Items{"first second"}));
  Put("\rthird");
  EXPECT_EQ(view_.items, (Items{"first second", "third"}));
}

}  // namespace
}  // namespace ztx
