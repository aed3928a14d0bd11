#include <iconv.h>

#include <cerrno>

#include "platform/big5.h"
#include "platform/text_codec.h"

namespace ztx {

std::string Big5ToUtf8(const std::string& big5) {
  iconv_t cd = iconv_open("UTF-8", "CP950");
  if (cd == reinterpret_cast<iconv_t>(-1)) return big5;
  std::string out;
  char* in = const_cast<char*>(big5.data());
  size_t in_left = big5.size();
  char buffer[256];
  while (in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    const size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, o - buffer);
    if (r == static_cast<size_t>(-1) && o == buffer) {
      // Not Big5: one replacement character for the unit, which is two bytes
      // after a lead byte, as the path scanner and Windows count them. Skipping
      // the lead byte alone would pair its trail byte with the next byte, and a
      // backslash behind it would stop being a separator.
      const size_t unit = IsBig5LeadByte(static_cast<unsigned char>(*in)) && in_left >= 2 ? 2 : 1;
      out += "\xEF\xBF\xBD";
      in += unit;
      in_left -= unit;
    }
  }
  iconv_close(cd);
  return out;
}

bool Utf8ToBig5(const std::string& utf8, std::string* big5) {
  iconv_t cd = iconv_open("CP950", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  big5->clear();
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char buffer[256];
  bool ok = true;
  while (ok && in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    const size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    big5->append(buffer, o - buffer);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) ok = false;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace ztx
