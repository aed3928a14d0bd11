#include "ui/window_logic.h"

#include <gtest/gtest.h>

#include "core/messages.h"

namespace ztx {
namespace {

TEST(WindowLogicTest, FixedTextsHaveTheirByteLengths) {
  EXPECT_EQ(text::AuthorLabel().size(), 26u);
  EXPECT_EQ(text::TargetLabel().size(), 9u);
  EXPECT_EQ(text::LogLabel().size(), 25u);
  EXPECT_EQ(text::ApplyButton(), "\xAE\x4D\xA5\xCE(&A)");  // 套用(&A)
}

TEST(WindowLogicTest, PlacesTheWindowAndTheControls) {
  EXPECT_EQ(WindowRect(1024, 740), (Rect{212, 167, 600, 405}));
  EXPECT_EQ(WindowRect(500, 300), (Rect{-50, -52, 600, 405})) << "signed, toward zero";
  const Layout plain = LayoutFor(false, 54);
  EXPECT_EQ(plain.target_box, (Rect{79, 10, 421, 25}));
  EXPECT_EQ(plain.browse_button, (Rect{519, 10, 65, 25}));
  EXPECT_EQ(plain.log_list, (Rect{9, 65, 575, 275}));
  EXPECT_EQ(plain.target_label_y, 12);
  EXPECT_EQ(plain.log_label_y, 43);
  const Layout described = LayoutFor(true, 54);
  EXPECT_EQ(described.target_box, (Rect{79, 160, 421, 25}));
  EXPECT_EQ(described.log_list, (Rect{9, 215, 575, 125}));
  EXPECT_EQ(described.target_label_y, 162);
  EXPECT_EQ(described.log_label_y, 193);
  for (const Layout& l : {plain, described}) {
    EXPECT_EQ(l.target_box.x + l.target_box.width, 500);
    EXPECT_EQ(l.log_list.y + l.log_list.height, 340);
  }
}

TEST(WindowLogicTest, BusyLook) {
  const BusyLook busy = BusyLookFor(true, false);
  EXPECT_FALSE(busy.exit_enabled);
  EXPECT_FALSE(busy.apply_enabled);
  EXPECT_TRUE(busy.wait_cursor);
  EXPECT_STREQ(busy.exit_text, "&Exit");
  EXPECT_TRUE(BusyLookFor(false, false).apply_enabled);
  EXPECT_FALSE(BusyLookFor(false, true).apply_enabled) << "nothing to apply to";
  EXPECT_EQ(std::string(BusyLookFor(false, true).exit_text), text::ExitButtonIdle());
}

TEST(WindowLogicTest, AltKeysFollowTheirButtons) {
  const ButtonState idle{false, true, true, true};
  EXPECT_EQ(CommandForAltKey('a', idle), WindowCommand::kApply);
  EXPECT_EQ(CommandForAltKey('b', idle), WindowCommand::kBrowse);
  EXPECT_EQ(CommandForAltKey('e', idle), WindowCommand::kExit);
  EXPECT_EQ(CommandForAltKey('A', idle), WindowCommand::kNone) << "Shift or Caps Lock";
  EXPECT_EQ(CommandForAltKey('x', idle), WindowCommand::kNone);
  EXPECT_EQ(CommandForAltKey('a', ButtonState{true, true, true, true}), WindowCommand::kNone);
  const ButtonState after_success{false, false, false, true};
  EXPECT_EQ(CommandForAltKey('a', after_success), WindowCommand::kNone) << "no second run";
  EXPECT_EQ(CommandForAltKey('b', after_success), WindowCommand::kNone);
  EXPECT_EQ(CommandForAltKey('e', after_success), WindowCommand::kExit);
}

TEST(WindowLogicTest, CreditLinkRegions) {
  EXPECT_TRUE(InCreditLink(137, 349));
  EXPECT_TRUE(InCreditLink(429, 361));
  EXPECT_TRUE(InCreditLink(243, 355));
  EXPECT_FALSE(InCreditLink(136, 349));
  EXPECT_FALSE(InCreditLink(244, 355));
  EXPECT_FALSE(InCreditLink(137, 362));
  EXPECT_FALSE(InCreditLink(300, 348));
}

TEST(WindowLogicTest, DescriptionDisplayText) {
  EXPECT_EQ(DescriptionDisplayText("a\x01" "b\rc"), "a\r\r\nb\r\r\nc");
  EXPECT_EQ(DescriptionDisplayText(std::string("ab\0cd", 5)), "ab");
  // 1002 line breaks grow to 3006 bytes: nothing is cut.
  EXPECT_EQ(DescriptionDisplayText(std::string(1002, '\x01')).size(), 3006u);
}

TEST(WindowLogicTest, TargetBoxAndChooserTexts) {
  EXPECT_EQ(TargetBoxText(".\\game"), "game");
  EXPECT_EQ(TargetBoxText("."), ".");
  EXPECT_EQ(TargetBoxText(".\\"), "");
  EXPECT_EQ(ChooserInitialText("."), ".\\.");
  EXPECT_EQ(ChooserInitialText("C:\\Game\\"), "C:\\Game\\.");
  EXPECT_EQ(ChooserInitialText("C:\\Game"), "C:\\Game");
  EXPECT_EQ(ChooserInitialText(""), "");
  EXPECT_EQ(ChooserInitialText(std::string(249, 'x')), std::string(249, 'x'));
  EXPECT_EQ(ChooserInitialText(std::string(249, 'x') + "\\"), "") << "does not fit with its dot";
}

TEST(WindowLogicTest, BrowserCommand) {
  const std::string url = "https://a.example/";
  EXPECT_EQ(BrowserCommand("\"C:\\b.exe\" \"%1\"", url), "\"C:\\b.exe\" \"" + url + "\"");
  EXPECT_EQ(BrowserCommand("b.exe %1 %1", url), "b.exe " + url + " " + url);
  EXPECT_EQ(BrowserCommand("b.exe", url), "b.exe " + url);
  EXPECT_EQ(BrowserCommand("b.exe %2 -x %", url), "b.exe %2 -x % " + url);
  EXPECT_EQ(BrowserCommand("", url), " " + url);
  const std::string fallback = BrowserFallbackText(url);
  EXPECT_NE(fallback.find("\"" + url + "\""), std::string::npos);
}

}  // namespace
}  // namespace ztx
