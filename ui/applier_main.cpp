// The applier program: a patch executable is this program with patch data
// appended. For now it opens its own patch and reports what it holds; the apply
// and the window come on top of this.
#include <cstdio>
#include <memory>

#include "core/container.h"
#include "core/session.h"
#include "platform/os.h"
#include "platform/text_codec.h"

int main() {
  std::unique_ptr<ztx::Os> os = ztx::MakeNativeOs();
  ztx::UiHooks no_window;
  ztx::Session session(*os, no_window);
  session.names.program_path = os->ProgramPath();

  if (const ztx::MessageId r = ztx::OpenPatchContainer(session)) {
    std::string text = ztx::MessageText(r, session.names);
    for (char& c : text) if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", ztx::Big5ToUtf8(text).c_str());
    return 255;
  }
  std::string description = session.description;
  for (char& c : description) if (c == '\x01') c = '\n';
  std::printf("description:\n%s\n", ztx::Big5ToUtf8(description).c_str());
  std::printf("script size: %u bytes\n", session.files.FileSize(session.script.handle()));
  return 0;
}
