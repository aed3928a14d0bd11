#include "ui/window_logic.h"

#include "core/messages.h"

namespace ztx {

Rect WindowRect(int full_screen_width, int full_screen_height) {
  // Signed division, truncating toward zero, as C++ does.
  return Rect{(full_screen_width - kWindowWidth) / 2, (full_screen_height - kWindowHeight) / 2,
              kWindowWidth, kWindowHeight};
}

Layout LayoutFor(bool description_shown, int label_width) {
  const int d = description_shown ? 150 : 0;
  Layout l;
  l.description_offset = d;
  l.description_box = Rect{10, 25, 575, 125};
  l.target_box = Rect{label_width + 25, d + 10, 475 - label_width, 25};
  l.browse_button = Rect{519, d + 10, 65, 25};
  l.log_list = Rect{9, d + 65, 575, 275 - d};
  l.author_label_y = 4;
  l.target_label_y = d + 12;
  l.log_label_y = d + 43;
  return l;
}

BusyLook BusyLookFor(bool busy, bool target_box_empty) {
  static const std::string exit_idle = text::ExitButtonIdle();
  if (busy) return BusyLook{false, false, true, "&Exit"};
  return BusyLook{true, !target_box_empty, false, exit_idle.c_str()};
}

WindowCommand CommandForAltKey(char c, const ButtonState& s) {
  if (s.busy) return WindowCommand::kNone;
  switch (c) {  // lower case only: with Shift or Caps Lock nothing happens
    case 'a': return s.apply_usable ? WindowCommand::kApply : WindowCommand::kNone;
    case 'b': return s.browse_usable ? WindowCommand::kBrowse : WindowCommand::kNone;
    case 'e': return s.exit_usable ? WindowCommand::kExit : WindowCommand::kNone;
    default: return WindowCommand::kNone;
  }
}

bool InCreditLink(int x, int y) {
  if (y < 349 || y > 361) return false;
  return (x >= 137 && x <= 243) || (x >= 275 && x <= 429);
}

std::string DescriptionDisplayText(const std::string& description) {
  std::string out;
  out.reserve(description.size() * 3);
  for (char c : description) {
    if (c == '\0') break;
    if (c == '\x01' || c == '\r') {
      out += "\r\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string TargetBoxText(const std::string& text) {
  return text.size() >= 2 && text.compare(0, 2, ".\\") == 0 ? text.substr(2) : text;
}

std::string ChooserInitialText(const std::string& target_box_text) {
  std::string t = target_box_text == "." ? ".\\" : target_box_text;
  if (!t.empty() && t.back() == '\\') t += '.';
  return t.size() < kChooserBufferSize ? t : std::string();
}

std::string BrowserCommand(const std::string& command_template, const std::string& address) {
  std::string out;
  bool replaced = false;
  const std::string t = command_template.substr(0, command_template.find('\0'));
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == '1') {
      out += address;
      replaced = true;
      ++i;
    } else {
      out += t[i];
    }
  }
  return replaced ? out : out + " " + address;
}

std::string BrowserFallbackText(const std::string& address) {
  return text::BrowserFallbackBefore() + "\"" + address + "\"" + text::BrowserFallbackAfter();
}

}  // namespace ztx
