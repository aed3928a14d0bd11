#include "ui/win32/main_window.h"

#include <commdlg.h>

#include <vector>

#include "commit/apply_driver.h"
#include "core/container.h"
#include "core/messages.h"
#include "ui/window_logic.h"

namespace ztx {
namespace {

constexpr char kClassName[] = "Orvale GUI";
// The project's web page, opened by the credit line.
constexpr char kWebAddress[] = "https://ztx.example.org/";

// The pump runs at most this often: often enough for a responsive window, rarely
// enough that a long apply does not spend its time looking at an empty queue.
constexpr DWORD kPumpIntervalMs = 30;

enum Command { kNone = 0, kExit, kBrowse, kApply };

// The list box behind the output log.
class ListBoxView final : public LogView {
 public:
  explicit ListBoxView(HWND list) : list_(list) {}
  void AddItem(const std::string& text) override {
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void DeleteItem(int index) override { SendMessageA(list_, LB_DELETESTRING, index, 0); }
  void SetTopIndex(int index) override { SendMessageA(list_, LB_SETTOPINDEX, index, 0); }
  void ResetContent() override { SendMessageA(list_, LB_RESETCONTENT, 0, 0); }
  void SetRedraw(bool on) override { SendMessageA(list_, WM_SETREDRAW, on ? 1 : 0, 0); }

 private:
  HWND list_;
};

HFONT MakeFont(BYTE pitch_and_family) {
  return CreateFontA(-12, 0, 0, 0, 400, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY,
                     pitch_and_family, text::FontFace().c_str());
}

void Place(HWND control, const Rect& r) { MoveWindow(control, r.x, r.y, r.width, r.height, TRUE); }

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() = default;

int MainWindow::Run(Session& session) {
  session_ = &session;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(instance_, "PATCHICON");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExA(&wc)) {
    MessageBoxA(nullptr, text::ClassFailed().c_str(), text::ErrorCaption().c_str(), MB_ICONHAND);
    return 255;
  }
  const Rect r = WindowRect(GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN));
  CreateWindowExA(0, kClassName, text::WindowCaption().c_str(), WS_CAPTION | WS_SYSMENU, r.x, r.y,
                  r.width, r.height, nullptr, nullptr, instance_, this);
  if (!hwnd_) {
    UnregisterClassA(kClassName, instance_);
    return 255;
  }
  if (const MessageId opened = OpenPatchContainer(session)) {
    MessageBoxA(nullptr, MessageText(opened, session.names).c_str(), text::ErrorCaption().c_str(), MB_OK);
    DestroyWindow(hwnd_);
    UnregisterClassA(kClassName, instance_);
    return 255;
  }
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetBusy(false);
  // A close that came before the first run ends the program instead.
  if (!quit_pending_) ApplyAction();
  if (!quit_pending_) SetBusy(false);

  MSG msg;
  while (!quit_pending_ && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (!quit_pending_) quit_code_ = static_cast<int>(msg.wParam);
  UnregisterClassA(kClassName, instance_);
  return quit_code_;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self ? self->Handle(message, wparam, lparam) : DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_COMMAND:
      if (lparam != 0) OnButton(reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_SYSCHAR: {
      const ButtonState state{busy_, IsWindowVisible(apply_) && IsWindowEnabled(apply_),
                              IsWindowEnabled(browse_) != 0, IsWindowEnabled(exit_) != 0};
      switch (CommandForAltKey(static_cast<char>(wparam), state)) {
        case WindowCommand::kApply: Do(kApply); break;
        case WindowCommand::kBrowse: Do(kBrowse); break;
        case WindowCommand::kExit: Do(kExit); break;
        case WindowCommand::kNone: break;
      }
      return 0;
    }
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, busy_ ? IDC_WAIT : IDC_ARROW));
      return TRUE;
    case WM_LBUTTONDOWN:
      if (InCreditLink(static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)))) OpenWebPage();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(hwnd_, message, wparam, lparam);
  }
}

HWND MainWindow::CreateChild(const char* window_class, const std::string& text, DWORD style,
                             DWORD ex_style, int x, int y, int width, int height) {
  return CreateWindowExA(ex_style, window_class, text.c_str(), WS_CHILD | style, x, y, width, height,
                         hwnd_, nullptr, instance_, nullptr);
}

void MainWindow::OnCreate() {
  label_font_ = MakeFont(VARIABLE_PITCH | FF_SWISS);
  credit_font_ = MakeFont(VARIABLE_PITCH | FF_SWISS);
  button_font_ = MakeFont(VARIABLE_PITCH | FF_SWISS);
  const DWORD button = WS_VISIBLE | BS_CENTER | BS_PUSHBUTTON;
  exit_ = CreateChild("BUTTON", "&Cancel", button, 0, kExitButton.x, kExitButton.y, kExitButton.width,
                      kExitButton.height);
  apply_ = CreateChild("BUTTON", text::ApplyButton(), button, 0, kApplyButton.x, kApplyButton.y,
                       kApplyButton.width, kApplyButton.height);
  browse_ = CreateChild("BUTTON", text::BrowseButton(), button, 0, 0, 0, 0, 0);
  if (button_font_) {
    for (HWND b : {exit_, apply_, browse_}) SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(button_font_), 0);
  }
  target_ = CreateChild("EDIT", "", WS_VISIBLE | ES_LEFT, WS_EX_CLIENTEDGE, 0, 0, 0, 0);
  description_ = CreateChild("EDIT", "", WS_VSCROLL | ES_READONLY | ES_MULTILINE, WS_EX_CLIENTEDGE, 10, 25, 575, 125);
  list_ = CreateChild("LISTBOX", "", WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOSEL, WS_EX_CLIENTEDGE, 0, 0, 0, 0);
  log_font_ = MakeFont(VARIABLE_PITCH | FF_MODERN);
  if (log_font_) SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(log_font_), 0);
  description_font_ = MakeFont(FIXED_PITCH | FF_MODERN);
  if (description_font_) SendMessageA(description_, WM_SETFONT, reinterpret_cast<WPARAM>(description_font_), 0);
  list_view_ = std::make_unique<ListBoxView>(list_);
  log_ = std::make_unique<OutputLog>(*list_view_, [this] { PumpMessages(); });
  LayoutControls(false);
}

void MainWindow::LayoutControls(bool description_shown) {
  // The target label measured in the system font, the font of a fresh DC.
  HDC dc = GetDC(hwnd_);
  const std::string label = text::TargetLabel();
  SIZE size = {};
  GetTextExtentPointA(dc, label.c_str(), static_cast<int>(label.size()), &size);
  ReleaseDC(hwnd_, dc);
  const Layout l = LayoutFor(description_shown, size.cx);
  Place(target_, l.target_box);
  Place(browse_, l.browse_button);
  Place(list_, l.log_list);
}

void MainWindow::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  if (ps.fErase) FillRect(dc, &ps.rcPaint, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  if (label_font_) SelectObject(dc, label_font_);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  const bool described = !GetControlText(description_).empty();
  const Layout l = LayoutFor(described, 0);
  auto draw = [dc](int x, int y, const std::string& s) { TextOutA(dc, x, y, s.c_str(), static_cast<int>(s.size())); };
  draw(15, l.target_label_y, text::TargetLabel());
  if (described) draw(15, l.author_label_y, text::AuthorLabel());
  draw(15, l.log_label_y, text::LogLabel());
  if (credit_font_) SelectObject(dc, credit_font_);
  SetTextColor(dc, RGB(0, 0, 238));
  draw(kCreditX, kCreditY, text::CreditText());
  draw(kAddressX, kCreditY, kWebAddress);
  EndPaint(hwnd_, &ps);
}

void MainWindow::OnButton(HWND button) {
  if (busy_) return;
  if (button == exit_) Do(kExit);
  if (button == browse_) Do(kBrowse);
  if (button == apply_) Do(kApply);
}

void MainWindow::Do(int command) {
  switch (command) {
    case kExit:
      DestroyWindow(hwnd_);
      break;
    case kBrowse:
      ChooseTargetFolder();
      break;
    case kApply:
      session_->requested_target = GetControlText(target_);
      if (!session_->requested_target.empty()) ApplyAction();
      break;
  }
}

void MainWindow::OnClose() {
  if (!busy_) {
    DestroyWindow(hwnd_);
    return;
  }
  if (MessageBoxA(hwnd_, text::ConfirmCancel().c_str(), text::ConfirmCaption().c_str(),
                  MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
    cancel_requested_ = true;
  }
}

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  const BusyLook look = BusyLookFor(busy, GetControlText(target_).empty());
  SetControlText(exit_, look.exit_text);
  EnableWindow(exit_, look.exit_enabled);
  EnableWindow(apply_, look.apply_enabled);
  SetCursor(LoadCursorA(nullptr, look.wait_cursor ? IDC_WAIT : IDC_ARROW));
}

MessageId MainWindow::ApplyAction() {
  SetBusy(true);
  log_->Clear();
  EnableWindow(browse_, FALSE);
  EnableWindow(target_, FALSE);
  const MessageId r = ApplyPatch(*session_);
  if (r == msg::kOk) {
    LogMessage(msg::kSuccess, session_->names, *this);
    ShowWindow(apply_, SW_HIDE);  // nothing is applied twice
  } else {
    EnableWindow(browse_, TRUE);
    EnableWindow(target_, TRUE);
  }
  SetBusy(false);
  // The user asked to stop and leave: once the run has wound down, leave.
  if (cancel_requested_) DestroyWindow(hwnd_);
  return r;
}

void MainWindow::ShowDescription(const std::string& text) {
  SetWindowTextA(description_, DescriptionDisplayText(text).c_str());
  ShowWindow(description_, SW_SHOWNORMAL);
  LayoutControls(true);
}

void MainWindow::SetControlText(HWND control, const std::string& text) {
  SetWindowTextA(control, TargetBoxText(text).c_str());
  PumpMessages();
}

std::string MainWindow::GetControlText(HWND control) {
  char buffer[998] = {};
  GetWindowTextA(control, buffer, sizeof buffer);
  return buffer;
}

void MainWindow::PumpMessages() {
  const DWORD now = GetTickCount();
  if (now - last_pump_ < kPumpIntervalMs) return;
  last_pump_ = now;
  TakeWaitingMessages();
}

void MainWindow::TakeWaitingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit_pending_ = true;
      quit_code_ = static_cast<int>(msg.wParam);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool MainWindow::AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxA(hwnd_, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void MainWindow::ChooseTargetFolder() {
  std::vector<char> name(kChooserBufferSize, '\0');
  const std::string initial = ChooserInitialText(GetControlText(target_));
  initial.copy(name.data(), initial.size());
  const std::string title = text::ChooserTitle();
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = hwnd_;
  ofn.hInstance = instance_;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (GetOpenFileNameA(&ofn)) {
    session_->requested_target = name.data();
    SetControlText(target_, session_->requested_target);
  }
  SetBusy(false);
}

void MainWindow::OpenWebPage() {
  auto read_default = [](const std::string& key_name, std::string* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[301] = {};
    DWORD size = sizeof buffer - 1;
    const bool ok = RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
                    ERROR_SUCCESS;
    RegCloseKey(key);
    *value = buffer;
    return ok;
  };
  std::string type, command;
  if (read_default(".htm", &type) && !type.empty() && read_default(type + "\\shell\\open\\command", &command) &&
      WinExec(BrowserCommand(command, kWebAddress).c_str(), SW_SHOW) > 31) {
    return;
  }
  MessageBoxA(nullptr, BrowserFallbackText(kWebAddress).c_str(), "Info", MB_OK);
}

}  // namespace ztx
