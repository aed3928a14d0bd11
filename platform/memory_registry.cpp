#include "platform/memory_registry.h"

#include <cctype>

namespace ztx {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

std::string MemoryRegistry::KeyPath(std::uint32_t root, const std::string& sub_key) {
  // Windows ignores a leading backslash and the case of ASCII letters.
  std::string path = sub_key;
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  return std::to_string(root) + "\\" + Lower(path);
}

void MemoryRegistry::AddKey(std::uint32_t root, const std::string& sub_key) {
  keys_[KeyPath(root, sub_key)];
}

void MemoryRegistry::Put(std::uint32_t root, const std::string& sub_key, const std::string& name,
                         std::uint32_t type, const std::string& data) {
  keys_[KeyPath(root, sub_key)][Lower(name)] = Value{type, data};
}

const MemoryRegistry::Value* MemoryRegistry::Get(std::uint32_t root, const std::string& sub_key,
                                                 const std::string& name) const {
  auto key = keys_.find(KeyPath(root, sub_key));
  if (key == keys_.end()) return nullptr;
  auto value = key->second.find(Lower(name));
  return value == key->second.end() ? nullptr : &value->second;
}

bool MemoryRegistry::Open(std::uint32_t root, const std::string& sub_key, RegAccess access,
                          RegKey* key) {
  if (!root_key::IsPredefined(root)) return false;
  const std::string path = KeyPath(root, sub_key);
  // The roots themselves always exist.
  if (!sub_key.empty() && keys_.find(path) == keys_.end()) return false;
  *key = next_key_++;
  open_[*key] = OpenKey{path, access};
  return true;
}

bool MemoryRegistry::Query(RegKey key, const std::string& name, std::uint32_t capacity,
                           std::string* data) {
  auto k = open_.find(key);
  if (k == open_.end()) return false;
  auto values = keys_.find(k->second.path);
  if (values == keys_.end()) return false;
  auto value = values->second.find(Lower(name));
  if (value == values->second.end() || value->second.data.size() > capacity) return false;
  *data = value->second.data;
  return true;
}

bool MemoryRegistry::Set(RegKey key, const std::string& name, std::uint32_t type,
                         const std::string& data) {
  auto k = open_.find(key);
  if (k == open_.end() || k->second.access != RegAccess::kAll) return false;
  keys_[k->second.path][Lower(name)] = Value{type, data};
  return true;
}

}  // namespace ztx
