#include <cstdio>

#include "platform/message_box.h"
#include "platform/text_codec.h"

namespace ztx {

void ShowMessageBox(const std::string& text, const std::string& caption) {
  std::string shown = text;
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(stderr, "%s\n%s\n", Big5ToUtf8(caption).c_str(), Big5ToUtf8(shown).c_str());
}

}  // namespace ztx
