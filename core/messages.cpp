#include "core/messages.h"

namespace ztx {
namespace {

#include "core/message_table.inc"

// How a placeholder value is shown: the current folder gets words instead of
// "." or ".\", and a leading ".\" is dropped from a relative path.
std::string ShownValue(const std::string& value) {
  if (value == "." || value == ".\\") return kCurrentFolderText;
  if (value.size() > 2 && value.compare(0, 2, ".\\") == 0) return value.substr(2);
  return value;
}

}  // namespace

std::string MessageTemplate(MessageId id) {
  if (id < 0 || id >= kMessageIdLimit || kMessageTable[id] == nullptr) return {};
  return kMessageTable[id];
}

std::string RestartCaption() { return kRestartCaptionText; }

std::string UsageCaption() { return kUsageCaptionText; }

namespace text {
std::string AuthorLabel() { return kAuthorLabelText; }
std::string TargetLabel() { return kTargetLabelText; }
std::string LogLabel() { return kLogLabelText; }
std::string ApplyButton() { return kApplyButtonText; }
std::string BrowseButton() { return kBrowseButtonText; }
std::string ExitButtonIdle() { return kExitButtonIdleText; }
std::string ClassFailed() { return kClassFailedText; }
std::string ErrorCaption() { return kErrorCaptionText; }
std::string ConfirmCancel() { return kConfirmCancelText; }
std::string ConfirmCaption() { return kConfirmCaptionText; }
std::string ChooserTitle() { return kChooserTitleText; }
std::string BrowserFallbackBefore() { return kBrowserFallbackBeforeText; }
std::string BrowserFallbackAfter() { return kBrowserFallbackAfterText; }
std::string WindowCaption() { return kWindowCaptionText; }
std::string CreditText() { return kCreditTextText; }
std::string FontFace() { return kFontFaceText; }
}  // namespace text

std::string ExpandMessage(const std::string& templ, const MessageNames& names) {
  std::string out;
  // Byte by byte is exact for Big5: '%' never occurs inside a double-byte
  // character, so the byte after it always starts a character of its own.
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] != '%' || i + 1 == templ.size()) {
      out += templ[i];
      continue;
    }
    switch (templ[i + 1]) {
      case 'n': out += '\r'; break;
      case 'p': out += ShownValue(names.program_path); break;
      case 'm': out += ShownValue(names.current_file_name); break;
      case 's': out += ShownValue(names.current_target_folder); break;
      default:
        out += '%';  // the next byte is then read as ordinary text
        continue;
    }
    ++i;
  }
  return out;
}

std::string MessageText(MessageId id, const MessageNames& names) {
  return ExpandMessage(MessageTemplate(id), names);
}

void LogMessage(MessageId id, const MessageNames& names, UiHooks& ui) {
  for (char c : MessageText(id, names)) ui.LogPutChar(c);
  ui.LogFlushWord();
}

}  // namespace ztx
