// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace ztx::testing {

class TempFolder {
 public:
  TempFolder() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("ztxtest" + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    // Read-only files and folders left by a test must not stop the removal.
    // (Paths past what the system lists end the walk instead of throwing.)
    std::filesystem::recursive_directory_iterator it(path_, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the folder as the Os takes it: joined as bytes, so that a
  // Big5 name reaches the system unchanged (std::filesystem would convert it).
  std::string operator/(const std::string& name) const {
#ifdef _WIN32
    return path_.string() + "\\" + name;
#else
    return path_.string() + "/" + name;
#endif
  }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Read(const std::string& name) const { return ReadFile(path_ / name); }
  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  std::filesystem::path path_;
};

// Every file and folder below `root` (paths with '/'), a file with its content,
// so that a test can tell that nothing in a tree changed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    entries[std::filesystem::relative(e.path(), root).generic_string()] =
        e.is_regular_file() ? TempFolder::ReadFile(e.path()) : "<folder>";
  }
  return entries;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::string old_;
  bool had_old_;
};

}  // namespace ztx::testing
