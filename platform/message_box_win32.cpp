#include <windows.h>

#include "platform/message_box.h"

namespace ztx {

void ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace ztx
