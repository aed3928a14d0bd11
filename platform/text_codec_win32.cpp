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

bool Utf8ToBig5(const std::string& utf8, std::string* big5) {
  big5->clear();
  if (utf8.empty()) return true;
  const int n = static_cast<int>(utf8.size());
  const int wide_len = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
  if (wide_len <= 0) return false;
  std::wstring wide(static_cast<size_t>(wide_len), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), wide_len);
  BOOL lost = FALSE;
  const int len = WideCharToMultiByte(950, WC_NO_BEST_FIT_CHARS, wide.data(), wide_len, nullptr, 0, nullptr, &lost);
  if (len <= 0 || lost) return false;
  big5->resize(static_cast<size_t>(len));
  WideCharToMultiByte(950, WC_NO_BEST_FIT_CHARS, wide.data(), wide_len, big5->data(), len, nullptr, nullptr);
  return true;
}

}  // namespace ztx
