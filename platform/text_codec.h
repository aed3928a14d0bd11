// Conversion between the Big5 texts inside ztx and UTF-8 at its edges (console
// output, author input).
#pragma once

#include <string>

namespace ztx {

// Big5 (code page 950) to UTF-8. Bytes that are no Big5 character become U+FFFD.
std::string Big5ToUtf8(const std::string& big5);

// UTF-8 to Big5. False when the text has a character that Big5 cannot hold.
bool Utf8ToBig5(const std::string& utf8, std::string* big5);

}  // namespace ztx
