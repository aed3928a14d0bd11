#include "ui/command_line.h"

namespace ztx {

CommandLine ParseCommandLine(const std::string& text) {
  CommandLine result;
  bool in_quotes = false;
  int position = 1;  // 1 is the program's own name
  std::string token;
  // A blank at the end ends the last token like every other.
  for (char c : text + " ") {
    if (c == '"') {
      in_quotes = !in_quotes;
    } else if (c != ' ' || in_quotes) {
      token += c;
    } else if (!token.empty()) {
      if (token == "-h" || position >= 3) {
        result.show_usage = true;
        return result;
      }
      if (position == 2) result.requested_target = token;
      ++position;
      token.clear();
    }
  }
  // Still in quotes: the last token swallowed the final blank and is dropped.
  return result;
}

}  // namespace ztx
