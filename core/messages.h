// The message table: every text the applier shows, in Big5, by number. The number
// of a message is also the error code of every operation that can fail (0 is
// success), and the texts carry placeholders filled from the program's state:
//   %n  a line break (one carriage return, 0x0D)
//   %p  the program's own path
//   %m  the file name of the record being worked on
//   %s  the target folder of the record group being worked on
#pragma once

#include <string>

#include "core/ui_hooks.h"

namespace ztx {

using MessageId = int;

// The ids the code refers to by name. Their texts are in core/messages.txt.
namespace msg {
constexpr MessageId kOk = 0;
constexpr MessageId kPatchDamaged = 1;           // patch data cannot be read
constexpr MessageId kFileInUse = 7;              // old file cannot go to the backup folder
constexpr MessageId kBackupCopyLocked = 8;       // older backup copy cannot be deleted
constexpr MessageId kRestartQuestion = 9;
constexpr MessageId kRestartDeclined = 10;       // same text as 9
constexpr MessageId kStagingFolderFailed = 11;
constexpr MessageId kCrcMismatch = 12;
constexpr MessageId kCancelled = 13;
constexpr MessageId kNoPatchInside = 14;         // text blocks of the script unreadable
constexpr MessageId kCannotOpenProgram = 15;
constexpr MessageId kNotAPatch = 16;             // trailer or header unreadable
constexpr MessageId kWorkingOnFile = 20;
constexpr MessageId kSuccess = 24;
constexpr MessageId kUsage = 28;
constexpr MessageId kChecking = 30;
constexpr MessageId kNoMatchingSource = 31;
constexpr MessageId kOptionalFileWarning = 32;
constexpr MessageId kRequiredFileError = 33;
constexpr MessageId kAlreadyUpdated = 34;
constexpr MessageId kDone = 36;
constexpr MessageId kBadStructure = 37;
constexpr MessageId kDiskFull = 38;
constexpr MessageId kScratchFull = 39;
constexpr MessageId kInstallPathMissing = 40;
constexpr MessageId kRegistryFailed = 41;
}  // namespace msg

// One past the highest id of the table.
constexpr int kMessageIdLimit = 42;

// The state that placeholders read, at the moment a message is expanded.
struct MessageNames {
  std::string program_path;           // %p
  std::string current_file_name;      // %m
  std::string current_target_folder;  // %s
};

// The raw Big5 template of a message; empty for an id without a text.
std::string MessageTemplate(MessageId id);
// The caption of the restart question.
std::string RestartCaption();
// The caption of the usage box.
std::string UsageCaption();

// The other fixed texts of the window, in Big5.
namespace text {
std::string AuthorLabel();
std::string TargetLabel();
std::string LogLabel();
std::string ApplyButton();
std::string BrowseButton();
std::string ExitButtonIdle();
std::string ClassFailed();
std::string ErrorCaption();
std::string ConfirmCancel();
std::string ConfirmCaption();
std::string ChooserTitle();
std::string BrowserFallbackBefore();
std::string BrowserFallbackAfter();
std::string WindowCaption();
std::string CreditText();
std::string FontFace();
}  // namespace text

// Fills in the placeholders of a template. Inserted values are never expanded
// again, and "." or ".\" reads as the words for the current folder.
std::string ExpandMessage(const std::string& templ, const MessageNames& names);
std::string MessageText(MessageId id, const MessageNames& names);
// Feeds the text of a message to the output log, byte by byte, then ends it.
void LogMessage(MessageId id, const MessageNames& names, UiHooks& ui);

}  // namespace ztx
