#include "commit/registry_pass.h"

#include "commit/location.h"
#include "engine/stream_reader.h"

namespace ztx {
namespace {

// The block's fields, one reader bounded by BlockLength.
class BlockReader {
 public:
  BlockReader(Session& s) : in_(s.files, s.script.handle(), s.record.block_offset, s.record.block_length, 1024) {}
  bool U8(std::uint8_t* v) { return in_.ReadByte(v); }
  bool U32(std::uint32_t* v) {
    std::uint8_t b[4];
    if (!in_.Read(b, 4)) return false;
    *v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  }
  bool String(std::string* text) {
    std::uint8_t length = 0;
    if (!U8(&length)) return false;
    text->resize(length);
    return in_.Read(reinterpret_cast<std::uint8_t*>(text->data()), length);
  }
  bool Bytes(std::string* data, std::uint32_t count) {
    data->resize(count);
    return in_.Read(reinterpret_cast<std::uint8_t*>(data->data()), count);
  }

 private:
  FileRangeReader in_;
};

// The key that SetValue writes to; closed when the block is done.
class CurrentKey {
 public:
  explicit CurrentKey(Os& os) : os_(os) {}
  ~CurrentKey() { Reset(0); }
  void Reset(RegKey key) {
    if (key_ != 0) os_.RegCloseKey(key_);
    key_ = key;
  }
  RegKey get() const { return key_; }

 private:
  Os& os_;
  RegKey key_ = 0;
};

}  // namespace

MessageId RegistryRecordHandler(Session& s, int group, RecordKind kind) {
  if (kind != RecordKind::kRegistry) return msg::kOk;
  Os& os = s.files.os();
  BlockReader in(s);
  std::uint32_t check_root = 0, reserved32 = 0;
  std::uint8_t reserved8 = 0;
  std::string check_sub_key, check_value, path;
  if (!in.U32(&check_root) || !in.String(&check_sub_key) || !in.String(&check_value) ||
      !in.U32(&reserved32) || !in.U8(&reserved8)) {
    return msg::kPatchDamaged;
  }
  if (MessageId r = ReadInstallPath(os, check_root, check_sub_key, check_value, kMaxValueData, &path)) {
    return r;
  }
  // Values are written only into keys the block opened for writing; the check
  // key was opened for reading and is not one of them.
  CurrentKey key(os);
  for (;;) {
    std::uint8_t code = 0;
    if (!in.U8(&code)) return msg::kPatchDamaged;
    if (code == 0) return msg::kOk;
    if (code == 1) {
      std::uint32_t root = 0;
      std::string sub_key;
      if (!in.U32(&root) || !in.String(&sub_key)) return msg::kPatchDamaged;
      RegKey opened = 0;
      if (!os.RegOpenKey(root, sub_key, RegAccess::kAll, &opened)) return msg::kRegistryFailed;
      key.Reset(opened);
    } else if (code == 2) {
      std::string name, data;
      std::uint32_t type = 0, length = 0;
      if (!in.String(&name) || !in.U32(&type) || !in.U32(&length)) return msg::kPatchDamaged;
      if (length > kMaxValueData || !in.Bytes(&data, length)) return msg::kPatchDamaged;
      if (key.get() == 0) return msg::kRegistryFailed;
      if (!os.RegSetValue(key.get(), name, type, data)) return msg::kRegistryFailed;
    }
    // Any other code stands alone and is passed over.
  }
}

}  // namespace ztx
