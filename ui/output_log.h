// The output log: the list of lines in the window where a run reports progress
// and errors. Text arrives one byte at a time. A blank ends a word, a carriage
// return ends a line, and words wrap at 78 bytes (Big5 bytes, so a double-byte
// character counts 2). The line still being built is shown as the last item and
// replaced as it grows, so progress within a line is visible word by word.
//
// The model is plain data; the list box is reached only through LogView.
#pragma once

#include <functional>
#include <string>

namespace ztx {

// The five operations on the list that shows the log.
class LogView {
 public:
  virtual ~LogView() = default;
  virtual void AddItem(const std::string& text) = 0;
  virtual void DeleteItem(int index) = 0;
  virtual void SetTopIndex(int index) = 0;
  virtual void ResetContent() = 0;
  virtual void SetRedraw(bool on) = 0;
};

class OutputLog {
 public:
  static constexpr size_t kWrapWidth = 78;

  // `pump` runs after every change of the visible list.
  OutputLog(LogView& view, std::function<void()> pump)
      : view_(view), pump_(std::move(pump)) {}

  void PutChar(char b);
  // Places the pending word on the current line and shows the line.
  void FlushWord();
  void Clear();

 private:
  void ShowCurrentLine();
  void EmitLineEnd();
  void EmitText(const std::string& text) { current_line_ += text; }

  LogView& view_;
  std::function<void()> pump_;
  int item_count_ = 0;
  std::string current_line_;
  bool provisional_ = false;  // the last item shows current_line_ and will be replaced
  std::string pending_word_;
};

}  // namespace ztx
