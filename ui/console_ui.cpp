#include "ui/console_ui.h"

#include "platform/text_codec.h"

namespace ztx {

void ConsoleLogView::AddItem(const std::string& text) {
  Finish();
  last_ = text;
  has_last_ = true;
}

void ConsoleLogView::Finish() {
  if (!has_last_) return;
  std::fprintf(out_, "%s\n", Big5ToUtf8(last_).c_str());
  std::fflush(out_);
  has_last_ = false;
}

bool ConsoleUi::AskYesNo(const std::string& text, const std::string& caption) {
  Finish();
  std::string shown = text;
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(out_, "[%s]%s\n-> %s\n", Big5ToUtf8(caption).c_str(), Big5ToUtf8(shown).c_str(),
               restart_answer_ ? "yes" : "no");
  return restart_answer_;
}

}  // namespace ztx
