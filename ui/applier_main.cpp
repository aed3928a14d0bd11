// The applier program: a patch executable is this program with patch data
// appended. It reads its command line, opens its own patch and applies it to the
// target folder, printing the log (the window comes on top of this).
#include <cstdio>
#include <memory>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "core/session.h"
#include "platform/message_box.h"
#include "platform/os.h"
#include "platform/text_codec.h"
#include "ui/command_line.h"
#include "ui/console_ui.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitStartupFailed = 255;

}  // namespace

int main() {
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::ConsoleUi ui(stdout, false);
  ztx::Session session(*os, ui);
  session.names.program_path = os->ProgramPath();

  const ztx::CommandLine command_line = ztx::ParseCommandLine(os->CommandLine());
  if (command_line.show_usage || session.names.program_path.empty()) {
    ztx::ShowMessageBox(ztx::MessageText(ztx::msg::kUsage, session.names), ztx::UsageCaption());
    return kExitUsage;
  }
  session.requested_target = command_line.requested_target;

  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::string text = ztx::MessageText(r, session.names);
    for (char& c : text) {
      if (c == '\r') c = '\n';
    }
    std::fprintf(stderr, "%s\n", ztx::Big5ToUtf8(text).c_str());
    return kExitStartupFailed;
  }
  const ztx::MessageId r = ztx::ApplyPatch(session);
  if (r == ztx::msg::kOk) ztx::LogMessage(ztx::msg::kSuccess, session.names, ui);
  ui.Finish();
  return r;
}
