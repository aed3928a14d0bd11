// The applier program: a patch executable is this program with patch data
// appended. For now it reads its command line, opens its own patch and reports
// what it holds; the apply and the window come on top of this.
#include <cstdio>
#include <memory>

#include "core/container.h"
#include "core/session.h"
#include "platform/message_box.h"
#include "platform/os.h"
#include "platform/text_codec.h"
#include "ui/command_line.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitStartupFailed = 255;

}  // namespace

int main() {
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::UiHooks no_window;
  ztx::Session session(*os, no_window);
  session.names.program_path = os->ProgramPath();

  const ztx::CommandLine command_line = ztx::ParseCommandLine(os->CommandLine());
  if (command_line.show_usage || session.names.program_path.empty()) {
    ztx::ShowMessageBox(ztx::MessageText(ztx::msg::kUsage, session.names), ztx::UsageCaption());
    return kExitUsage;
  }
  session.requested_target = command_line.requested_target;

  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::string text = ztx::MessageText(r, session.names);
    for (char& c : text) if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", ztx::Big5ToUtf8(text).c_str());
    return kExitStartupFailed;
  }
  std::string description = session.description;
  for (char& c : description) if (c == '\x01') c = '\n';
  std::printf("description:\n%s\n", ztx::Big5ToUtf8(description).c_str());
  std::printf("script size: %u bytes\n", session.files.FileSize(session.script.handle()));
  return 0;
}
