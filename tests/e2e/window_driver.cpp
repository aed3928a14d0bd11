// Drives the real applier window from another process, as a user would, and
// checks what it shows. Runs under Wine with a (virtual) display.
//
//   window_driver SCENARIO PATCH.exe [ARGUMENTS...]
//
// Scenarios:
//   success PATCH TARGET         the first run succeeds by itself; then only Exit
//                                is left (Apply hidden, Browse and box disabled)
//   retry PATCH BAD GOOD         the first run fails (no known version); typing
//                                another folder and pressing Apply succeeds
//   in-use PATCH TARGET FILE     FILE is held open by this driver: the restart
//                                question comes; No is answered
//   cancel PATCH TARGET          closing during the run asks for confirmation;
//                                Yes ends the run with message 13 and the window
//   box PATCH EXPECTED_EXIT [ARGS...]
//                                a message box comes before any window (usage,
//                                no patch data); it is confirmed; the exit code
//                                is checked
// The log lines are printed in UTF-8. Exit status 0 when the scenario held.
// With ZTX_DRIVER_PAUSE_MS set, the driver waits that long after each run, for
// screenshots.
#include "platform/win32_names.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/messages.h"

namespace {

using ztx::MessageId;

[[noreturn]] void Fail(const std::string& why) {
  std::printf("FAILED: %s\n", why.c_str());
  std::fflush(stdout);
  std::exit(1);
}

std::string Utf8(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Big5(const std::wstring& wide) {
  const int n = WideCharToMultiByte(950, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(950, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// A message as one log line shows it: its text without line breaks.
std::string LogLineOf(MessageId id) {
  std::string text = ztx::MessageText(id, {});
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

class Applier {
 public:
  Applier(const std::string& patch, const std::vector<std::string>& args) {
    std::string command = "\"" + patch + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
      Fail("cannot start " + patch);
    }
  }
  ~Applier() {
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  DWORD WaitForExit() {
    if (WaitForSingleObject(pi_.hProcess, 60000) != WAIT_OBJECT_0) Fail("the applier did not end");
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }
  DWORD pid() const { return pi_.dwProcessId; }

 private:
  PROCESS_INFORMATION pi_ = {};
};

// A top-level window of the applier's process with the given class.
HWND FindTopLevel(DWORD pid, const char* window_class) {
  struct Search {
    DWORD pid;
    const char* window_class;
    HWND found;
  } search{pid, window_class, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM lparam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lparam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        char name[64] = {};
        GetClassNameA(hwnd, name, sizeof name);
        if (pid == s->pid && std::string(name) == s->window_class && IsWindowVisible(hwnd)) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitFor(DWORD pid, const char* window_class) {
  for (int i = 0; i < 600; ++i) {
    if (HWND w = FindTopLevel(pid, window_class)) return w;
    Sleep(100);
  }
  Fail(std::string("no window of class ") + window_class);
}

struct Window {
  HWND main, exit, apply, browse, target, list;
};

Window Controls(HWND main) {
  Window w{main, nullptr, nullptr, nullptr, nullptr, nullptr};
  w.exit = FindWindowExA(main, nullptr, "BUTTON", nullptr);
  w.apply = FindWindowExA(main, w.exit, "BUTTON", nullptr);
  w.browse = FindWindowExA(main, w.apply, "BUTTON", nullptr);
  w.target = FindWindowExA(main, nullptr, "EDIT", nullptr);
  w.list = FindWindowExA(main, nullptr, "LISTBOX", nullptr);
  if (!w.exit || !w.apply || !w.browse || !w.target || !w.list) Fail("controls missing");
  return w;
}

// The log lines, in Big5 as the window holds them. A list box item sent across
// processes as ANSI comes back garbled under Wine, so it is asked for in UTF-16.
std::vector<std::string> LogLines(HWND list) {
  std::vector<std::string> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
    std::wstring item(length > 0 ? length : 0, L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    lines.push_back(Big5(item));
  }
  return lines;
}

bool HasLine(const std::vector<std::string>& lines, MessageId id) {
  const std::string wanted = LogLineOf(id);
  for (const std::string& line : lines) {
    std::string trimmed = line;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    if (trimmed == wanted) return true;
  }
  return false;
}

void Print(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const int n = MultiByteToWideChar(950, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(950, 0, line.c_str(), static_cast<int>(line.size()), wide.data(), n);
    std::printf("  | %s\n", Utf8(wide).c_str());
  }
}

// Waits until a run has ended with the message `id` in the log and the window
// is idle again (Exit enabled).
std::vector<std::string> WaitForRunEnd(const Window& w, MessageId id) {
  for (int i = 0; i < 600; ++i) {
    const std::vector<std::string> lines = LogLines(w.list);
    if (IsWindowEnabled(w.exit) && HasLine(lines, id)) {
      if (const char* pause = std::getenv("ZTX_DRIVER_PAUSE_MS")) Sleep(std::stoul(pause));
      return lines;
    }
    Sleep(100);
  }
  Print(LogLines(w.list));
  Fail("the run did not end with message " + std::to_string(id));
}

void Press(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

// A message box of the applier's, its text and the button pressed.
std::string AnswerBox(DWORD pid, int button) {
  HWND box = WaitFor(pid, "#32770");
  wchar_t text[2048] = {};
  HWND label = FindWindowExA(box, nullptr, "Static", nullptr);
  while (label && GetWindowTextLengthW(label) == 0) label = FindWindowExA(box, label, "Static", nullptr);
  if (label) GetWindowTextW(label, text, 2048);
  HWND b = GetDlgItem(box, button);
  if (!b) Fail("the box has no such button");
  Press(b);
  return Big5(text);
}

void ExpectExit(Applier& app, DWORD expected) {
  const DWORD code = app.WaitForExit();
  if (code != expected) Fail("exit code " + std::to_string(code) + ", expected " + std::to_string(expected));
}

int Success(const std::string& patch, const std::string& target) {
  Applier app(patch, {target});
  const Window w = Controls(WaitFor(app.pid(), "Orvale GUI"));
  const auto lines = WaitForRunEnd(w, ztx::msg::kSuccess);
  Print(lines);
  if (lines.empty() || lines[0] != LogLineOf(ztx::msg::kChecking)) Fail("the log does not start with message 30");
  if (IsWindowVisible(w.apply)) Fail("Apply is still shown after success");
  if (IsWindowEnabled(w.browse) || IsWindowEnabled(w.target)) Fail("Browse or the box still enabled");
  Press(w.exit);
  ExpectExit(app, 0);
  return 0;
}

int Retry(const std::string& patch, const std::string& bad, const std::string& good) {
  Applier app(patch, {bad});
  const Window w = Controls(WaitFor(app.pid(), "Orvale GUI"));
  Print(WaitForRunEnd(w, ztx::msg::kRequiredFileError));
  if (!IsWindowVisible(w.apply) || !IsWindowEnabled(w.apply)) Fail("Apply not offered after a failure");
  if (!IsWindowEnabled(w.browse) || !IsWindowEnabled(w.target)) Fail("Browse or the box disabled after a failure");
  SendMessageA(w.target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(good.c_str()));
  Press(w.apply);
  Print(WaitForRunEnd(w, ztx::msg::kSuccess));
  Press(w.exit);
  ExpectExit(app, 0);
  return 0;
}

int InUse(const std::string& patch, const std::string& target, const std::string& file) {
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) Fail("cannot hold " + file);
  Applier app(patch, {target});
  const std::string question = AnswerBox(app.pid(), IDNO);
  std::string expected = ztx::MessageText(ztx::msg::kRestartQuestion, {});
  if (question.find(expected.substr(2, 20)) == std::string::npos) Fail("not the restart question");
  const Window w = Controls(WaitFor(app.pid(), "Orvale GUI"));
  for (int i = 0; i < 100 && !IsWindowEnabled(w.exit); ++i) Sleep(100);
  Print(LogLines(w.list));
  CloseHandle(held);
  Press(w.exit);
  ExpectExit(app, 0);
  return 0;
}

int Cancel(const std::string& patch, const std::string& target) {
  Applier app(patch, {target});
  const Window w = Controls(WaitFor(app.pid(), "Orvale GUI"));
  for (int i = 0; i < 600 && IsWindowEnabled(w.exit); ++i) Sleep(20);  // the run has begun
  PostMessageA(w.main, WM_CLOSE, 0, 0);
  const std::string confirm = AnswerBox(app.pid(), IDYES);
  if (confirm != ztx::text::ConfirmCancel()) Fail("not the cancel confirmation");
  ExpectExit(app, 0);  // the window closes once the run has wound down
  return 0;
}

int Box(const std::string& patch, DWORD expected, const std::vector<std::string>& args) {
  Applier app(patch, args);
  AnswerBox(app.pid(), IDOK);
  ExpectExit(app, expected);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 3 && a[0] == "success") return Success(a[1], a[2]);
  if (a.size() == 4 && a[0] == "retry") return Retry(a[1], a[2], a[3]);
  if (a.size() == 4 && a[0] == "in-use") return InUse(a[1], a[2], a[3]);
  if (a.size() == 3 && a[0] == "cancel") return Cancel(a[1], a[2]);
  if (a.size() >= 3 && a[0] == "box") {
    return Box(a[1], static_cast<DWORD>(std::stoul(a[2])), std::vector<std::string>(a.begin() + 3, a.end()));
  }
  std::printf("usage: window_driver success|retry|in-use|cancel|box PATCH ...\n");
  return 2;
}
