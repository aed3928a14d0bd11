#include "ui/output_log.h"

namespace ztx {

void OutputLog::ShowCurrentLine() {
  if (current_line_.empty()) return;
  view_.SetRedraw(false);  // no flicker while the last item is replaced
  if (provisional_) view_.DeleteItem(--item_count_);
  view_.AddItem(current_line_);
  view_.SetTopIndex(item_count_);
  view_.SetRedraw(true);
  pump_();
  ++item_count_;
  provisional_ = true;
}

void OutputLog::EmitLineEnd() {
  if (!current_line_.empty()) {
    ShowCurrentLine();
  } else {
    // A line end on an empty line is an empty line in the log.
    view_.SetRedraw(false);
    view_.AddItem("");
    view_.SetTopIndex(item_count_);
    view_.SetRedraw(true);
    ++item_count_;
    pump_();
  }
  current_line_.clear();
  provisional_ = false;
}

void OutputLog::FlushWord() {
  ShowCurrentLine();
  if (!pending_word_.empty()) {
    // A word is never split: one that does not fit starts the next line, and
    // one longer than the width stands alone on its line.
    if (!current_line_.empty() && current_line_.size() + pending_word_.size() > kWrapWidth) {
      EmitLineEnd();
    }
    EmitText(pending_word_);
  }
  pending_word_.clear();
  ShowCurrentLine();
}

void OutputLog::PutChar(char b) {
  if (b == ' ') {
    FlushWord();
    EmitText(" ");  // no width test: a line may end with a blank at byte 79
  } else if (b == '\r') {
    FlushWord();
    EmitLineEnd();
  } else {
    pending_word_ += b;
  }
}

void OutputLog::Clear() {
  view_.ResetContent();
  item_count_ = 0;
  current_line_.clear();
  provisional_ = false;
}

}  // namespace ztx
