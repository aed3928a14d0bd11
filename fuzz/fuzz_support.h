// What every fuzz harness shares: a private scratch folder per process (TMPDIR
// points into it, so scratch files of parallel jobs never meet), a cursor over
// the fuzzer's bytes that yields zeros past the end, file helpers, and a check
// that stops the process with a one-line reason, which libFuzzer reports as a
// crash and keeps the input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace ztx::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "FUZZ CHECK FAILED %s:%d: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}
#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) ::ztx::fuzz::Fail(__FILE__, __LINE__, #cond); \
  } while (0)

// The process's own folder, made on first use below the TMPDIR it was started
// with; TMPDIR then points into it. Removed when the process ends normally.
inline const fs::path& ScratchRoot() {
  static const fs::path root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ztxfuzzXXXXXX";
    if (!mkdtemp(pattern.data())) Fail(__FILE__, __LINE__, "cannot make the scratch folder");
    const fs::path made = pattern;
    fs::create_directories(made / "tmp");
    setenv("TMPDIR", (made / "tmp").c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(ScratchRoot(), ec);
    });
    return made;
  }();
  return root;
}

}  // namespace ztx::fuzz

// libFuzzer calls this once per process, before the first input: the scratch
// folder and TMPDIR are in place before any harness makes a scratch file. Each
// harness (and the seed writer, which never calls it) is one source file.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ztx::fuzz::ScratchRoot();
  return 0;
}

namespace ztx::fuzz {

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file and folder below `root`, by relative path, with its contents
// ("<dir>" for a folder), so that two moments of a tree can be compared.
inline std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    // By plain prefix: fs::relative would resolve links along the way, a system call per element.
    const std::string rel = it->path().string().substr(root.string().size() + 1);
    out[rel] = it->is_directory() ? std::string("<dir>") : ReadFile(it->path());
  }
  return out;
}

// The fuzzer's bytes as little-endian fields; reads past the end give zeros
// and an empty tail, so every input decodes to something.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}
  std::uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t U16() { return static_cast<std::uint16_t>(U8() | (U8() << 8)); }
  std::uint32_t U32() { return U16() | (static_cast<std::uint32_t>(U16()) << 16); }
  // Up to `n` bytes, fewer at the end of the input.
  std::string Bytes(size_t n) {
    n = std::min(n, size_ - at_);
    std::string out(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return out;
  }
  std::string Rest() { return Bytes(size_ - at_); }

 private:
  const std::uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The same layout, written: what the seed generator uses.
class FieldWriter {
 public:
  FieldWriter& U8(std::uint32_t v) { out_ += static_cast<char>(v & 0xFF); return *this; }
  FieldWriter& U16(std::uint32_t v) { return U8(v).U8(v >> 8); }
  FieldWriter& U32(std::uint32_t v) { return U16(v).U16(v >> 16); }
  FieldWriter& Bytes(const std::string& s) { out_ += s; return *this; }
  const std::string& bytes() const { return out_; }

 private:
  std::string out_;
};

}  // namespace ztx::fuzz
