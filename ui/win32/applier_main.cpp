// The applier program: a patch executable is this program with patch data
// appended. It reads its command line, opens its own patch, shows its window and
// applies the patch to the target folder.
#include "platform/win32_names.h"

#include <memory>

#include "core/session.h"
#include "platform/message_box.h"
#include "platform/os.h"
#include "ui/command_line.h"
#include "ui/win32/main_window.h"

namespace {

constexpr int kExitUsage = 1;

// A downloaded patch sits in a folder beside whatever else was downloaded: no
// DLL is ever loaded from the program's own folder or the current one, only
// from the system folder.
void LoadDllsFromTheSystemFolderOnly() {
  SetDllDirectoryA("");
  using SetDefault = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto set_default = reinterpret_cast<SetDefault>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LoadDllsFromTheSystemFolderOnly();
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::MainWindow window(instance);
  ztx::Session session(*os, window);
  session.names.program_path = os->ProgramPath();
  const ztx::CommandLine command_line = ztx::ParseCommandLine(os->CommandLine());
  if (command_line.show_usage || session.names.program_path.empty()) {
    ztx::ShowMessageBox(ztx::MessageText(ztx::msg::kUsage, session.names), ztx::UsageCaption());
    return kExitUsage;
  }
  session.requested_target = command_line.requested_target;
  return window.Run(session);
}
