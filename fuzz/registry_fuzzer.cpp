// The registry handler on the in-memory registry. The input is a registry
// block; the handler's result and every value it leaves behind are compared
// with a plain reading of the block written here, which knows nothing of the
// handler's reader: fields one by one, never past BlockLength, SetValue data of
// at most 1001 bytes, values only into keys an OpenKey opened, keys never made.
//
// Input: u8 mode, u16 cut, then the block. Mode bit 0 makes BlockLength `cut`
// (modulo the block's size + 1) instead of the block's size; the script holds
// more bytes behind the block, which the handler must not read.
#include <cstdint>

#include "commit/registry_pass.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"

namespace ztx::fuzz {
namespace {

constexpr std::uint32_t kHkcu = root_key::kCurrentUser;
constexpr std::uint32_t kHklm = root_key::kLocalMachine;

void Fill(MemoryRegistry& registry) {
  registry.Put(kHkcu, "Software\\App", "Path", 1, std::string("C:\\App\\app.exe") + '\0');
  registry.AddKey(kHkcu, "Software\\App\\Settings");
  registry.Put(kHklm, "Software\\Other", "x", 4, std::string("\x01\x00\x00\x00", 4));
  registry.Put(kHkcu, "Software\\Empty", "Path", 1, std::string(1, '\0'));
}

struct Write {
  std::uint32_t root;
  std::string sub_key, name;
};

// The block read field by field from a string: the plain reading.
class Expectation {
 public:
  Expectation(const std::string& block, MemoryRegistry& shadow) : block_(block), shadow_(shadow) {}

  MessageId Run() {
    std::uint32_t root = 0, reserved32 = 0;
    std::uint8_t reserved8 = 0;
    std::string sub_key, name;
    if (!U32(&root) || !String(&sub_key) || !String(&name) || !U32(&reserved32) || !U8(&reserved8)) {
      return msg::kPatchDamaged;
    }
    RegKey check = 0;
    if (!shadow_.Open(root, sub_key, RegAccess::kRead, &check)) return msg::kInstallPathMissing;
    std::string path;
    const bool read = shadow_.Query(check, name, kMaxValueData, &path);
    shadow_.Close(check);
    if (!read || path.empty() || path[0] == '\0') return msg::kInstallPathMissing;

    RegKey key = 0;
    std::uint32_t key_root = 0;
    std::string key_path;
    for (;;) {
      std::uint8_t code = 0;
      if (!U8(&code)) return msg::kPatchDamaged;
      if (code == 0) return msg::kOk;
      if (code == 1) {
        std::uint32_t r = 0;
        std::string k;
        if (!U32(&r) || !String(&k)) return msg::kPatchDamaged;
        RegKey opened = 0;
        if (!shadow_.Open(r, k, RegAccess::kAll, &opened)) return msg::kRegistryFailed;
        key = opened;
        key_root = r;
        key_path = k;
      } else if (code == 2) {
        std::string value, data;
        std::uint32_t type = 0, length = 0;
        if (!String(&value) || !U32(&type) || !U32(&length)) return msg::kPatchDamaged;
        if (length > kMaxValueData || !Bytes(&data, length)) return msg::kPatchDamaged;
        if (key == 0 || !shadow_.Set(key, value, type, data)) return msg::kRegistryFailed;
        writes.push_back({key_root, key_path, value});
      }
    }
  }

  std::vector<Write> writes;

 private:
  bool Bytes(std::string* out, size_t n) {
    if (block_.size() - at_ < n) return false;
    *out = block_.substr(at_, n);
    at_ += n;
    return true;
  }
  bool U8(std::uint8_t* v) {
    std::string b;
    if (!Bytes(&b, 1)) return false;
    *v = static_cast<std::uint8_t>(b[0]);
    return true;
  }
  bool U32(std::uint32_t* v) {
    std::string b;
    if (!Bytes(&b, 4)) return false;
    *v = 0;
    for (int i = 3; i >= 0; --i) *v = (*v << 8) | static_cast<std::uint8_t>(b[i]);
    return true;
  }
  bool String(std::string* s) {
    std::uint8_t n = 0;
    return U8(&n) && Bytes(s, n);
  }

  const std::string& block_;
  size_t at_ = 0;
  MemoryRegistry& shadow_;
};

int Run(const std::uint8_t* data, size_t size) {
  Cursor in(data, size);
  const std::uint8_t mode = in.U8();
  const std::uint16_t cut = in.U16();
  const std::string all = in.Rest();
  const std::string block = (mode & 1) ? all.substr(0, cut % (all.size() + 1)) : all;
  // What follows the block in the script: the rest of the input and zeros, which
  // a reader running past BlockLength would take for more operations.
  const std::string behind = all.substr(block.size()) + std::string(8, '\0');

  PosixOs os;
  Fill(os.registry());
  UiHooks ui;
  Session s(os, ui);
  s.script.Attach(s.files.CreateScratchFile());
  const std::string script = "\x05" + block + behind;
  FUZZ_CHECK(s.files.WriteBytes(s.script.handle(), script.data(), static_cast<std::uint32_t>(script.size())));
  s.record.kind = RecordKind::kRegistry;
  s.record.block_offset = 1;
  s.record.block_length = static_cast<std::uint32_t>(block.size());

  const MessageId r = RegistryRecordHandler(s, 0, RecordKind::kRegistry);
  FUZZ_CHECK(RegistryRecordHandler(s, 0, RecordKind::kFile) == msg::kOk);

  MemoryRegistry shadow;
  Fill(shadow);
  Expectation expected(block, shadow);
  FUZZ_CHECK(r == expected.Run());
  for (const Write& w : expected.writes) {
    const MemoryRegistry::Value* got = os.registry().Get(w.root, w.sub_key, w.name);
    const MemoryRegistry::Value* want = shadow.Get(w.root, w.sub_key, w.name);
    FUZZ_CHECK(got && want && got->type == want->type && got->data == want->data);
    FUZZ_CHECK(got->data.size() <= kMaxValueData);
  }
  // The fixed keys and values that no write touched are as they were.
  FUZZ_CHECK(os.registry().Get(kHkcu, "Software\\App\\Settings", "") == nullptr ||
             shadow.Get(kHkcu, "Software\\App\\Settings", "") != nullptr);
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
