#include "core/container.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/crc32.h"

namespace ztx {
namespace {

// Pieces of 64 KiB: the script of a large patch unpacks in a few hundred
// writes, not tens of thousands.
constexpr std::uint32_t kChunkSize = 64 * 1024;

std::uint16_t U16At(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32At(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Writes unpacked bytes to the script, refusing a script that outgrows the
// positions of the format (a DEFLATE bomb fills no disk).
// It keeps the size and the CRC of what it wrote.
class ScriptSink {
 public:
  explicit ScriptSink(Session& s) : s_(s) {}
  MessageId Put(const void* data, std::uint32_t n) {
    if (n > kMaxScriptSize - written_) return msg::kPatchDamaged;
    written_ += n;
    crc_ = Crc32Update(crc_, data, n);
    return s_.files.WriteBytes(s_.script.handle(), data, n) ? msg::kOk : msg::kScratchFull;
  }
  std::uint32_t written() const { return written_; }
  std::uint32_t crc_register() const { return crc_; }

 private:
  Session& s_;
  std::uint32_t written_ = 0;
  std::uint32_t crc_ = kCrcInitial;
};

// Frees the inflater however the extraction ends.
struct Inflater {
  z_stream z{};
  bool ready = false;
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kChunkSize);
  Inflater() { ready = inflateInit2(&z, -15) == Z_OK; }  // raw DEFLATE, 32 KB window
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
};

// One call of inflate into the whole output buffer, with what it produced
// written to the script. *progress tells whether it consumed or produced anything.
MessageId InflateStep(Inflater& inf, int flush, ScriptSink& sink, int* ret, bool* progress) {
  std::uint8_t* out = inf.out.data();
  const uInt avail_in = inf.z.avail_in;
  inf.z.next_out = out;
  inf.z.avail_out = kChunkSize;
  *ret = inflate(&inf.z, flush);
  const std::uint32_t produced = kChunkSize - inf.z.avail_out;
  *progress = produced > 0 || inf.z.avail_in != avail_in;
  // A data error (corrupt body), a dictionary request (not raw DEFLATE) or a
  // stream error is damage; Z_BUF_ERROR only means no progress was possible.
  if (*ret != Z_OK && *ret != Z_STREAM_END && *ret != Z_BUF_ERROR) return msg::kPatchDamaged;
  return produced > 0 ? sink.Put(out, produced) : msg::kOk;
}

MessageId InflateBody(Session& s, std::int64_t remaining, ScriptSink& sink) {
  Inflater inf;
  if (!inf.ready) return msg::kScratchFull;
  std::vector<std::uint8_t> buffer(kChunkSize);
  std::uint8_t* in = buffer.data();
  int ret = Z_OK;
  bool progress = true;
  while (remaining > 0 && ret != Z_STREAM_END) {
    const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(remaining, kChunkSize));
    if (!s.files.ReadBytes(s.container_file.get(), in, n)) return msg::kPatchDamaged;
    inf.z.next_in = in;
    inf.z.avail_in = n;
    // Bytes that follow the end of the stream in this chunk, and the chunks
    // after it, are not read: a patch maker writes none.
    while (inf.z.avail_in > 0 && ret != Z_STREAM_END) {
      if (MessageId r = InflateStep(inf, Z_SYNC_FLUSH, sink, &ret, &progress)) return r;
      if (!progress) return msg::kPatchDamaged;
    }
    remaining -= n;
  }
  // Output still held back by a full buffer comes out now. A stream that never
  // reaches its end is a truncated body.
  while (ret != Z_STREAM_END) {
    inf.z.next_in = in;
    inf.z.avail_in = 0;
    if (MessageId r = InflateStep(inf, Z_FINISH, sink, &ret, &progress)) return r;
    if (!progress && ret != Z_STREAM_END) return msg::kPatchDamaged;
  }
  return msg::kOk;
}

MessageId CopyBody(Session& s, std::int64_t remaining, ScriptSink& sink) {
  std::vector<std::uint8_t> pieces(kChunkSize);
  std::uint8_t* buffer = pieces.data();
  while (remaining > 0) {
    const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(remaining, kChunkSize));
    if (!s.files.ReadBytes(s.container_file.get(), buffer, n)) return msg::kPatchDamaged;
    if (MessageId r = sink.Put(buffer, n)) return r;
    remaining -= n;
  }
  return msg::kOk;
}

}  // namespace

MessageId ExtractPatchScript(Session& s) {
  const FileHandle scratch = s.files.CreateScratchFile();
  if (scratch == kNullHandle) return msg::kScratchFull;
  s.script.Attach(scratch);

  const FileHandle file = s.container_file.get();
  const std::uint32_t position = s.files.CurrentPosition(file);
  if (position == 0xFFFFFFFF) return msg::kPatchDamaged;
  const std::int64_t remaining = std::int64_t{s.data_end} - position - kTrailerSize;
  ScriptSink sink(s);
  const MessageId result = (s.header.header_flags & PatchHeader::kBodyCompressed)
                               ? InflateBody(s, remaining, sink)
                               : CopyBody(s, remaining, sink);
  if (result != msg::kOk) return result;
  const std::uint8_t* h = s.header.bytes.data();
  if (std::equal(std::begin(kZtxSignature), std::end(kZtxSignature), h) &&
      (U32At(h + kScriptCrcOffset) != sink.crc_register() || U32At(h + kScriptSizeOffset) != sink.written() ||
       h[kFieldCopyOffset] != h[9] || !std::equal(h + 74, h + 78, h + kFieldCopyOffset + 1))) {
    return msg::kPatchDamaged;
  }
  s.script.SeekTo(0);
  return msg::kOk;
}

namespace {

bool ReadAt(Session& s, std::uint32_t position, void* buffer, std::uint32_t count) {
  return s.files.SeekTo(s.container_file.get(), position) &&
         s.files.ReadBytes(s.container_file.get(), buffer, count);
}

// The DataLength of a trailer that ends at `end`, when it describes appended
// data that fits in the file before `end`; 0 otherwise.
std::uint32_t DataLengthEndingAt(Session& s, std::uint32_t end) {
  std::uint8_t trailer[kTrailerSize];
  if (end < kTrailerSize || !ReadAt(s, end - kTrailerSize, trailer, kTrailerSize)) return 0;
  const std::uint32_t data_length = U32At(trailer);
  return data_length >= kMinDataLength && data_length <= end ? data_length : 0;
}

// Where the patch data ends: at the end of the file, or, in a signed patch, right
// before the signature's certificate table, which the PE security directory
// names and which ends the file, after at most 7 bytes of zero padding. False
// when the file cannot be read.
bool FindDataEnd(Session& s, std::uint32_t size, std::uint32_t* end) {
  *end = size;
  std::uint8_t b[8];
  if (size < 0x40) return true;
  if (!ReadAt(s, 0x3C, b, 4)) return false;
  const std::uint32_t pe = U32At(b);
  if (pe > size - 4 || pe > 0x7FFFFFFF) return true;
  if (!ReadAt(s, pe, b, 4)) return false;
  if (U32At(b) != 0x00004550) return true;  // "PE\0\0"
  const std::uint32_t optional_header = pe + 24;
  if (optional_header > size - 2) return true;
  if (!ReadAt(s, optional_header, b, 2)) return false;
  const std::uint16_t magic = U16At(b);
  const std::uint64_t security = optional_header + (magic == 0x20B ? 112 : 96) + 4 * 8;
  if ((magic != 0x10B && magic != 0x20B) || security > size - 8) return true;
  if (!ReadAt(s, static_cast<std::uint32_t>(security), b, 8)) return false;
  const std::uint32_t table = U32At(b), table_size = U32At(b + 4);
  if (table == 0 || table > size || table_size != size - table) return true;
  for (std::uint32_t at = table; at + 8 > table && at > 0; --at) {
    std::uint8_t last = 0;
    if (!ReadAt(s, at - 1, &last, 1)) return false;
    if (last != 0) {  // the trailer ends in a non-zero byte
      *end = at;
      return true;
    }
  }
  return true;
}

}  // namespace

MessageId OpenPatchContainer(Session& s) {
  s.container_file = ScopedFile(s.files, s.files.OpenForRead(s.names.program_path));
  const FileHandle file = s.container_file.get();
  if (file == kNullHandle) return msg::kCannotOpenProgram;

  // The trailer: at the end of the file, or right before the certificates of a
  // signed patch. A DataLength that cannot describe appended data (a program
  // file without a patch) is refused here rather than read as a header.
  const std::uint32_t size = s.files.FileSize(file);
  if (size == kFileSizeUnknown) return msg::kNotAPatch;
  // A certificate table at the end decides: its last bytes could pass for a
  // trailer by chance.
  if (!FindDataEnd(s, size, &s.data_end)) return msg::kNotAPatch;
  const std::uint32_t data_length = DataLengthEndingAt(s, s.data_end);
  if (data_length == 0) return msg::kNotAPatch;

  // The header, one field at a time.
  PatchHeader& h = s.header;
  if (!s.files.SeekTo(file, s.data_end - data_length) ||
      !s.files.ReadBytes(file, h.bytes.data(), PatchHeader::kSize)) {
    return msg::kNotAPatch;
  }
  h.header_flags = h.bytes[9];
  h.skipped_text_length = U16At(&h.bytes[74]);
  h.description_length = U16At(&h.bytes[76]);

  if (MessageId r = ExtractPatchScript(s)) return r;

  // The two text blocks. The description box holds at most 1002 bytes; a
  // longer description is refused, not cut, so no character is ever split.
  if (h.description_length > kMaxDescriptionLength || !s.script.Skip(h.skipped_text_length)) {
    return msg::kNoPatchInside;
  }
  std::string description(h.description_length, '\0');
  if (!s.script.Read(description.data(), h.description_length)) return msg::kNoPatchInside;
  s.location_block_start = s.script.Position();
  if (s.location_block_start == 0xFFFFFFFF) return msg::kNoPatchInside;

  // The window shows 0x01 as a line break.
  std::replace(description.begin(), description.end(), '\0', '\x01');
  s.description = description;
  if (!description.empty()) s.ui.ShowDescription(description);
  return msg::kOk;
}

}  // namespace ztx
