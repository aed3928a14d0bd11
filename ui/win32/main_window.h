// The applier's one window: the description, the target folder with Browse, the
// output log, the credit line, Apply and Exit. It is also the user interface the
// passes talk to (UiHooks). The decisions live in ui/window_logic; this class
// makes the Win32 calls.
#pragma once

#include "platform/win32_names.h"

#include <memory>
#include <string>

#include "core/session.h"
#include "core/ui_hooks.h"
#include "ui/output_log.h"

namespace ztx {

class MainWindow final : public UiHooks {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;

  // Runs the program from the class registration on: opens the patch, shows
  // the window, applies once, then waits for the user. Returns the exit code.
  int Run(Session& session);

  // What the passes call.
  void LogPutChar(char b) override { log_->PutChar(b); }
  void LogFlushWord() override { log_->FlushWord(); }
  void PumpMessages() override;
  void ShowDescription(const std::string& text) override;
  void SetTargetText(const std::string& folder) override { SetControlText(target_, folder); }
  bool CancelRequested() override { return cancel_requested_; }
  bool AskYesNo(const std::string& text, const std::string& caption) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void OnCreate();
  void OnPaint();
  void OnButton(HWND button);
  void OnClose();
  void Do(int command);

  void LayoutControls(bool description_shown);
  void SetBusy(bool busy);
  MessageId ApplyAction();
  void ChooseTargetFolder();
  void OpenWebPage();
  void SetControlText(HWND control, const std::string& text);
  std::string GetControlText(HWND control);
  HWND CreateChild(const char* window_class, const std::string& text, DWORD style, DWORD ex_style,
                   int x, int y, int width, int height);
  // Takes whatever waits in the queue; a quit message is kept, not lost.
  void TakeWaitingMessages();

  HINSTANCE instance_;
  Session* session_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND exit_ = nullptr, apply_ = nullptr, browse_ = nullptr;
  HWND target_ = nullptr, description_ = nullptr, list_ = nullptr;
  HFONT label_font_ = nullptr, credit_font_ = nullptr, button_font_ = nullptr;
  HFONT log_font_ = nullptr, description_font_ = nullptr;
  std::unique_ptr<LogView> list_view_;
  std::unique_ptr<OutputLog> log_;
  bool busy_ = false;
  bool cancel_requested_ = false;
  bool quit_pending_ = false;  // a quit message taken by the pump
  int quit_code_ = 0;
  DWORD last_pump_ = 0;
};

}  // namespace ztx
