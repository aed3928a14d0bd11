// A registry held in memory, for systems that have none: keys by root and path,
// values by name, compared without regard to ASCII case as Windows does. Tests
// fill it; the POSIX backend reads and writes it through the Os interface.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/os.h"

namespace ztx {

class MemoryRegistry {
 public:
  struct Value {
    std::uint32_t type = 0;
    std::string data;
  };

  // Creates the key (and nothing above it) when it does not exist.
  void AddKey(std::uint32_t root, const std::string& sub_key);
  void Put(std::uint32_t root, const std::string& sub_key, const std::string& name,
           std::uint32_t type, const std::string& data);
  // nullptr when the key or the value does not exist.
  const Value* Get(std::uint32_t root, const std::string& sub_key, const std::string& name) const;

  bool Open(std::uint32_t root, const std::string& sub_key, RegAccess access, RegKey* key);
  bool Query(RegKey key, const std::string& name, std::uint32_t capacity, std::string* data);
  bool Set(RegKey key, const std::string& name, std::uint32_t type, const std::string& data);
  void Close(RegKey key) { open_.erase(key); }

 private:
  using Values = std::map<std::string, Value>;
  struct OpenKey {
    std::string path;
    RegAccess access;
  };
  static std::string KeyPath(std::uint32_t root, const std::string& sub_key);

  std::map<std::string, Values> keys_;
  std::map<RegKey, OpenKey> open_;
  RegKey next_key_ = 1;
};

}  // namespace ztx
