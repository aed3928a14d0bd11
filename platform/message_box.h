// A modal box with one OK button and no owner window: how the applier reports
// what happens before its window exists (usage, a program without patch data).
#pragma once

#include <string>

namespace ztx {

// Texts in Big5. Where there is no window system, the text goes to standard
// error in UTF-8.
void ShowMessageBox(const std::string& text, const std::string& caption);

}  // namespace ztx
