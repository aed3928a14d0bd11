// The decisions of the main window, apart from the Win32 calls that carry them
// out: layout, the busy look, which keys and clicks do what, and the small text
// transformations of the target box, the description box, the folder chooser
// and the web link.
#pragma once

#include <string>

namespace ztx {

struct Rect {
  int x, y, width, height;
  bool operator==(const Rect&) const = default;
};

// The window: 600 x 405 pixels outside, centred in the full-screen client area.
constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 405;
Rect WindowRect(int full_screen_width, int full_screen_height);

// Where the movable controls and labels go. `label_width` is the width of the
// target label in the system font.
struct Layout {
  int description_offset;  // 150 with a description, else 0
  Rect description_box;
  Rect target_box, browse_button, log_list;
  int author_label_y, target_label_y, log_label_y;
};
Layout LayoutFor(bool description_shown, int label_width);

constexpr Rect kExitButton{519, 345, 65, 25};
constexpr Rect kApplyButton{449, 345, 65, 25};
constexpr int kCreditX = 137, kAddressX = 275, kCreditY = 347;

// The busy and the idle look.
struct BusyLook {
  bool exit_enabled;
  bool apply_enabled;
  bool wait_cursor;
  const char* exit_text;  // Big5
};
BusyLook BusyLookFor(bool busy, bool target_box_empty);

// What a press (a button, or Alt with a letter) asks for.
enum class WindowCommand { kNone, kExit, kBrowse, kApply };

// The state of the buttons that the Alt keys follow: a key does what its button
// would do, and nothing while its button is disabled or hidden.
struct ButtonState {
  bool busy;
  bool apply_usable;   // visible and enabled
  bool browse_usable;
  bool exit_usable;
};
WindowCommand CommandForAltKey(char c, const ButtonState& state);

// The two click regions of the credit line (edges included).
bool InCreditLink(int x, int y);

// The description as the box shows it: each 0x01 or 0x0D becomes CR CR LF; the
// text ends at its first 0 byte. Sized from the description, never cut.
std::string DescriptionDisplayText(const std::string& description);

// A text for the target box: a leading ".\" is dropped.
std::string TargetBoxText(const std::string& text);

// The chooser's initial file name: "." becomes ".\", and a path ending in "\"
// gets a "." appended. A text that does not fit the dialog's 250-byte buffer
// starts the dialog with an empty name.
constexpr size_t kChooserBufferSize = 250;
std::string ChooserInitialText(const std::string& target_box_text);

// The browser command: every %1 of the template becomes the address; without
// any, a blank and the address are appended.
std::string BrowserCommand(const std::string& command_template, const std::string& address);

// The box shown when no browser can be started.
std::string BrowserFallbackText(const std::string& address);

}  // namespace ztx
