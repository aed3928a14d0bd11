#include "maker/manifest.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

#include "platform/os.h"

namespace ztx {
namespace {

using nlohmann::json;

std::uint32_t Root(const std::string& name) {
  static const std::pair<const char*, std::uint32_t> kRoots[] = {
      {"HKCR", root_key::kClassesRoot},  {"HKEY_CLASSES_ROOT", root_key::kClassesRoot},
      {"HKCU", root_key::kCurrentUser},  {"HKEY_CURRENT_USER", root_key::kCurrentUser},
      {"HKLM", root_key::kLocalMachine}, {"HKEY_LOCAL_MACHINE", root_key::kLocalMachine},
      {"HKU", root_key::kUsers},         {"HKEY_USERS", root_key::kUsers},
      {"HKCC", root_key::kCurrentConfig}, {"HKEY_CURRENT_CONFIG", root_key::kCurrentConfig}};
  for (const auto& [n, v] : kRoots) {
    if (name == n) return v;
  }
  throw std::runtime_error("manifest: unknown registry root " + name);
}

RegistryName Name(const json& j, bool with_value) {
  RegistryName n;
  n.root = Root(j.at("root").get<std::string>());
  n.key = j.at("key").get<std::string>();
  if (with_value) n.value = j.value("value", "");
  return n;
}

RegistrySpec::Operation Operation(const json& j) {
  RegistrySpec::Operation op;
  if (j.contains("open")) {
    op.open = true;
    op.key = Name(j["open"], false);
    return op;
  }
  const json& set = j.at("set");
  op.key.value = set.at("name").get<std::string>();
  if (set.contains("sz")) {
    op.type = 1;  // REG_SZ, with its terminating zero byte
    op.data = set["sz"].get<std::string>() + '\0';
  } else if (set.contains("dword")) {
    op.type = 4;  // REG_DWORD, little-endian
    const auto v = set["dword"].get<std::uint32_t>();
    for (int i = 0; i < 4; ++i) op.data += static_cast<char>(v >> (8 * i));
  } else if (set.contains("binary")) {
    op.type = 3;  // REG_BINARY, given in hex
    const std::string hex = set["binary"].get<std::string>();
    if (hex.size() % 2) throw std::runtime_error("manifest: odd number of hex digits in " + op.key.value);
    for (size_t i = 0; i < hex.size(); i += 2) op.data += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  } else {
    throw std::runtime_error("manifest: a set of " + op.key.value + " needs sz, dword or binary");
  }
  return op;
}

}  // namespace

void ReadManifest(const std::string& json_text, MakeOptions* o) {
  try {
    const json m = json::parse(json_text);
    if (m.contains("description")) o->description_utf8 = m["description"].get<std::string>();
    if (m.contains("backup_folder")) o->backup_folder = m["backup_folder"].get<std::string>();
    if (m.contains("location")) {
      const json& l = m["location"];
      if (l.is_object()) {
        o->location = LocationKind::kRegistryPath;
        o->install_path = Name(l.at("registry"), true);
      } else if (l == "user") {
        o->location = LocationKind::kUserFolder;
      } else if (l == "windows") {
        o->location = LocationKind::kWindowsFolder;
      } else if (l == "system") {
        o->location = LocationKind::kSystemFolder;
      } else {
        throw std::runtime_error("manifest: location is user, windows, system or {\"registry\": ...}");
      }
    }
    for (const json& f : m.value("optional", json::array())) o->optional_files.push_back(f.get<std::string>());
    for (const json& f : m.value("quiet_optional", json::array())) {
      o->quiet_optional_files.push_back(f.get<std::string>());
    }
    for (const json& e : m.value("exclude", json::array())) {
      o->exclusions.push_back({e.at("file").get<std::string>(), e.at("offset").get<std::uint32_t>(),
                               e.at("length").get<std::uint32_t>()});
    }
    for (const json& r : m.value("registry", json::array())) {
      RegistrySpec spec;
      spec.check = Name(r.at("check"), true);
      for (const json& op : r.value("operations", json::array())) spec.operations.push_back(Operation(op));
      o->registry.push_back(std::move(spec));
    }
  } catch (const json::exception& e) {
    throw std::runtime_error(std::string("manifest: ") + e.what());
  }
}

}  // namespace ztx
