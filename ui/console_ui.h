// The user interface without a window: the output log printed to a stream as
// UTF-8 lines, and the restart question answered in advance. Used by `ztx apply`
// and by tests that run a whole apply.
#pragma once

#include <cstdio>
#include <string>

#include "core/ui_hooks.h"
#include "ui/output_log.h"

namespace ztx {

// Prints each log line once it is final (the line being built is replaced as it
// grows, so it is printed when the next line starts or at the end).
class ConsoleLogView : public LogView {
 public:
  explicit ConsoleLogView(std::FILE* out) : out_(out) {}
  ~ConsoleLogView() override { Finish(); }
  void AddItem(const std::string& text) override;
  void DeleteItem(int) override { has_last_ = false; }
  void SetTopIndex(int) override {}
  void ResetContent() override { has_last_ = false; }
  void SetRedraw(bool) override {}
  // Prints the last line.
  void Finish();

 private:
  std::FILE* out_;
  std::string last_;
  bool has_last_ = false;
};

class ConsoleUi : public UiHooks {
 public:
  ConsoleUi(std::FILE* out, bool restart_answer)
      : view_(out), log_(view_, [] {}), out_(out), restart_answer_(restart_answer) {}
  void LogPutChar(char b) override { log_.PutChar(b); }
  void LogFlushWord() override { log_.FlushWord(); }
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void Finish() { view_.Finish(); }

 private:
  ConsoleLogView view_;
  OutputLog log_;
  std::FILE* out_;
  bool restart_answer_;
};

}  // namespace ztx
