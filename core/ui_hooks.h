// What the core needs from the user interface: the only way the passes reach the
// window. The defaults do nothing, which is what a run without a window needs
// (tests, `ztx` on the command line) and what the window does before it exists.
#pragma once

#include <string>

namespace ztx {

class UiHooks {
 public:
  virtual ~UiHooks() = default;

  // Log input: one byte of a message, then the end of the message.
  virtual void LogPutChar(char /*b*/) {}
  virtual void LogFlushWord() {}
  // Lets the window handle the input that waits for it. Called often from long
  // work, so it must cost next to nothing when there is no window.
  virtual void PumpMessages() {}
  // The patch author's description: Big5 text, 0x01 for each line break.
  virtual void ShowDescription(const std::string& /*text*/) {}
  // Shows the folder being patched in the target box.
  virtual void SetTargetText(const std::string& /*folder*/) {}
  // The user confirmed a cancel; looked at when a record group starts.
  virtual bool CancelRequested() { return false; }
  // A yes/no question in a box owned by the window. Without a window: no.
  virtual bool AskYesNo(const std::string& /*text*/, const std::string& /*caption*/) { return false; }
};

}  // namespace ztx
