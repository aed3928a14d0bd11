#include <windows.h>

#include <string>

#include "platform/text_codec.h"

namespace ztx {

std::string Big5ToUtf8(const std::string& big5) {
  if (big5.empty()) return {};
  const int n = static_cast<int>(big5.size());
  const int wide_len = MultiByteToWideChar(950, 0, big5.data(), n, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(950, 0, big5.data(), n, wide.data(), wide_len);
  const int len = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(len), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_len, out.data(), len, nullptr, nullptr);
  return out;
}

}  // namespace ztx
