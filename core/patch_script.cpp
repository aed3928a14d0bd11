#include "core/patch_script.h"

#include <algorithm>
#include <cstring>

namespace ztx {

bool PatchScript::Skip(std::uint32_t count) {
  char buffer[1024];
  while (count > 0) {
    const std::uint32_t n = std::min<std::uint32_t>(count, sizeof buffer);
    if (!Read(buffer, n)) return false;
    count -= n;
  }
  return true;
}

bool PatchScript::ReadString(std::string* text) {
  std::uint8_t length = 0;
  char buffer[256];
  if (!ReadU8(&length) || !Read(buffer, length)) return false;
  text->assign(buffer, strnlen(buffer, length));
  return true;
}

bool PatchScript::ReadU16(std::uint16_t* value) {
  std::uint8_t b[2];
  if (!Read(b, sizeof b)) return false;
  *value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool PatchScript::ReadU32(std::uint32_t* value) {
  std::uint8_t b[4];
  if (!Read(b, sizeof b)) return false;
  *value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return true;
}

}  // namespace ztx
