#include "maker/container_writer.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "core/container.h"

namespace ztx {
namespace {

void PutU16(std::vector<std::uint8_t>& out, size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutU32(std::vector<std::uint8_t>& out, size_t at, std::uint32_t v) {
  PutU16(out, at, v & 0xFFFF);
  PutU16(out, at + 2, v >> 16);
}

// The trailer's second word, which the applier does not read: "ZTX1" for a
// person reading a hex dump.
constexpr std::uint32_t kTrailerSignature = 0x3158545A;

}  // namespace

std::string BuildScript(const ContainerContent& content) {
  std::string description = content.description;
  std::replace(description.begin(), description.end(), '\n', '\0');
  return content.skipped_text + description + content.records;
}

std::vector<std::uint8_t> DeflateRaw(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::vector<std::uint8_t> out(deflateBound(&z, data.size()));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int ret = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (ret != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

std::vector<std::uint8_t> BuildPatchData(const ContainerContent& content, const RawCompressor& compress) {
  if (content.skipped_text.size() > 0xFFFF || content.description.size() > kMaxDescriptionLength) {
    throw std::length_error("text block too long for the patch header");
  }
  std::vector<std::uint8_t> out(PatchHeader::kSize, 0);
  std::copy(std::begin(kZtxSignature), std::end(kZtxSignature), out.begin());
  out[9] = content.compress ? PatchHeader::kBodyCompressed : 0;
  PutU16(out, 74, static_cast<std::uint32_t>(content.skipped_text.size()));
  PutU16(out, 76, static_cast<std::uint32_t>(content.description.size()));

  const std::string script = BuildScript(content);
  PutU32(out, kScriptCrcOffset,
         ~static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(script.data()),
                                           static_cast<uInt>(script.size()))));
  PutU32(out, kScriptSizeOffset, static_cast<std::uint32_t>(script.size()));
  out[kFieldCopyOffset] = out[9];
  std::copy(out.begin() + 74, out.begin() + 78, out.begin() + kFieldCopyOffset + 1);
  if (content.compress) {
    const std::vector<std::uint8_t> body = compress(script);
    out.insert(out.end(), body.begin(), body.end());
  } else {
    out.insert(out.end(), script.begin(), script.end());
  }
  const std::uint64_t data_length = out.size() + kTrailerSize;
  if (data_length > 0x7FFFFFFF) throw std::length_error("patch data too large");
  AppendU32(out, static_cast<std::uint32_t>(data_length));
  AppendU32(out, kTrailerSignature);
  return out;
}

}  // namespace ztx
