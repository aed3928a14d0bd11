#include "core/names.h"

#include <vector>

#include "platform/big5.h"

namespace ztx {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The elements of a path, split at '\' and '/' outside Big5 characters. False
// when a byte outside a character is one no file name may hold.
bool SplitElements(const std::string& path, std::vector<std::string>* elements) {
  std::string element;
  PathScanner scanner;
  for (char c : path) {
    const auto b = static_cast<unsigned char>(c);
    const bool trail = scanner.InCharacter(c);
    if (!trail && (b == '\\' || b == '/')) {
      elements->push_back(element);
      element.clear();
      continue;
    }
    if (!trail && (b < 0x20 || b == 0x7F || std::string("<>:\"|?*").find(c) != std::string::npos)) {
      return false;
    }
    element += c;
  }
  elements->push_back(element);
  return true;
}

bool IsDeviceName(const std::string& element) {
  // A device name is one with or without an extension: "NUL" and "nul.txt" alike.
  std::string base = Upper(element.substr(0, element.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '0' && base[3] <= '9';
}

// The depth below the start that the name ends at, or -1 when it is unsafe.
int SafeDepth(const std::string& name) {
  if (name.empty()) return -1;
  std::vector<std::string> elements;
  if (!SplitElements(name, &elements)) return -1;
  if (elements.front().empty()) return -1;  // a leading separator: rooted or network path
  int depth = 0;
  for (const std::string& e : elements) {
    if (e.empty() || e == ".") continue;  // "a\\b" and "a\.\b" stay where they are
    if (e == "..") {
      if (--depth < 0) return -1;
      continue;
    }
    // Windows drops trailing dots and blanks: ".. " would climb, "a." is "a".
    if (e.back() == '.' || e.back() == ' ') return -1;
    if (IsDeviceName(e)) return -1;
    ++depth;
  }
  return depth;
}

}  // namespace

bool IsSafeRelativeName(const std::string& name) { return SafeDepth(name) > 0; }

std::vector<std::string> NormalizedElements(const std::string& name) {
  std::vector<std::string> elements, out;
  SplitElements(name, &elements);
  for (const std::string& e : elements) {
    if (e.empty() || e == ".") continue;
    if (e == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(e);
  }
  return out;
}

bool IsStagingFolderName(const std::string& element) {
  const std::string e = Upper(element);
  if (e.size() < 10 || e.compare(0, 5, "PATCH") != 0 || e.compare(e.size() - 4, 4, ".TMP") != 0) {
    return false;
  }
  for (size_t i = 5; i < e.size() - 4; ++i) {
    if (e[i] < '0' || e[i] > '9') return false;
  }
  return true;
}

bool IsSafeBackupFolder(const std::string& name) {
  if (SafeDepth(name) <= 0) return false;
  std::vector<std::string> elements;
  SplitElements(name, &elements);
  for (const std::string& e : elements) {
    if (e.empty() || e == ".") continue;
    return !IsStagingFolderName(e);  // the first real element
  }
  return false;
}

}  // namespace ztx
