// The applier's command line: the program name and at most one argument, the
// target folder. The line is taken as one text, exactly as the process got it,
// and split here:
// - a double quote toggles quoting anywhere, also inside a token, and is never
//   part of one; a blank outside quotes ends a token; tabs do not;
// - empty tokens (runs of blanks, "") do not count;
// - "-h" anywhere, or a second argument, asks for the usage box;
// - a token whose quote is never closed is ignored.
// Byte by byte is exact for Big5: its trail bytes are never 0x20 or 0x22.
#pragma once

#include <string>

namespace ztx {

struct CommandLine {
  bool show_usage = false;
  std::string requested_target = ".";
};

CommandLine ParseCommandLine(const std::string& text);

}  // namespace ztx
