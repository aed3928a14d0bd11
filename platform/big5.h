// Big5 (code page 950) byte scanning for paths.
//
// A Big5 character is one ASCII byte or two bytes: a lead byte 0x81..0xFE and a
// trail byte 0x40..0x7E or 0xA1..0xFE. Trail bytes can be 0x5C, the backslash: the
// second byte of characters such as 許 (B3 5C), 功 (A5 5C) or 蓋 (BB 5C). A path scan
// that looked at single bytes would cut such a name into two folders, so every scan
// for separators goes through PathScanner, which skips the byte after a lead byte.
#pragma once

namespace ztx {

constexpr bool IsBig5LeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Feed the bytes of one path in order, each to exactly one of the two calls;
// tells which of them are separators, or which are trail bytes of a character.
class PathScanner {
 public:
  bool IsSeparator(char c) { return !InCharacter(c) && (c == '\\' || c == '/'); }

  // True when the byte is the second byte of a double-byte character.
  bool InCharacter(char c) {
    if (in_character_) {
      in_character_ = false;
      return true;
    }
    in_character_ = IsBig5LeadByte(static_cast<unsigned char>(c));
    return false;
  }

 private:
  bool in_character_ = false;  // the next byte is the trail byte of a character
};

}  // namespace ztx
