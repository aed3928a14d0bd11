// The extraction of the patch body, stored or raw DEFLATE, through the opener
// of a container whose text blocks are empty. The extractor reads
// the container in 1024-byte chunks; zlib is fed the same body here whole, in
// 1024-byte pieces and one byte at a time. All three must agree, and the
// extractor must succeed exactly when the stream is complete, with the same
// bytes. A stored body comes out unchanged.
//
// Input: u8 flags (bit 0: the body is DEFLATE), then the body.
#include <zlib.h>

#include <cstdint>

#include "core/container.h"
#include "fuzz/fuzz_support.h"
#include "platform/os_posix.h"

namespace ztx::fuzz {
namespace {

struct Inflated {
  bool complete = false;  // the stream reached its end
  std::string bytes;
};

// Inflates `body`, offering it `piece` bytes at a time, up to the end of the
// stream, the first error, or the end of the input.
Inflated InflateFed(const std::string& body, size_t piece) {
  Inflated r;
  z_stream z{};
  FUZZ_CHECK(inflateInit2(&z, -15) == Z_OK);
  size_t fed = 0;
  std::uint8_t out[64 * 1024];
  for (;;) {
    if (z.avail_in == 0 && fed < body.size()) {
      const size_t n = std::min(piece, body.size() - fed);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data() + fed));
      z.avail_in = static_cast<uInt>(n);
      fed += n;
    }
    z.next_out = out;
    z.avail_out = sizeof out;
    const int ret = inflate(&z, Z_NO_FLUSH);
    r.bytes.append(reinterpret_cast<char*>(out), sizeof out - z.avail_out);
    if (ret == Z_STREAM_END) {
      r.complete = true;
      break;
    }
    if (ret != Z_OK && ret != Z_BUF_ERROR) break;  // damaged
    if (ret == Z_BUF_ERROR && z.avail_in == 0 && fed == body.size()) break;  // truncated
  }
  inflateEnd(&z);
  return r;
}

int Run(const std::uint8_t* data, size_t size) {
  Cursor in(data, size);
  const bool compressed = in.U8() & 1;
  const std::string body = in.Rest();

  std::string header(PatchHeader::kSize, '\0');
  header[9] = compressed ? PatchHeader::kBodyCompressed : 0;
  const auto data_length = static_cast<std::uint32_t>(header.size() + body.size() + kTrailerSize);
  std::string trailer(kTrailerSize, '\0');
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<char>(data_length >> (8 * i));
  const std::string program = "MZ" + std::string(30, '\x90');
  const fs::path path = ScratchRoot() / "patch.exe";
  WriteFile(path, program + header + body + trailer);

  // Through the opener, with both text blocks empty: the script is the body.
  PosixOs os;
  UiHooks ui;
  Session s(os, ui);
  s.names.program_path = path.string();
  const MessageId r = OpenPatchContainer(s);
  std::string script;
  if (r == msg::kOk) {
    script.resize(s.script.Size());
    FUZZ_CHECK(s.script.SeekTo(0) && s.script.Read(script.data(), static_cast<std::uint32_t>(script.size())));
  }

  if (!compressed) {
    FUZZ_CHECK(r == msg::kOk && script == body);
    return 0;
  }
  FUZZ_CHECK(r == msg::kOk || r == msg::kPatchDamaged);
  const Inflated whole = InflateFed(body, body.size() + 1);
  const Inflated chunks = InflateFed(body, 1024);
  const Inflated bytes = InflateFed(body, 1);
  FUZZ_CHECK(whole.complete == chunks.complete && whole.complete == bytes.complete);
  FUZZ_CHECK((r == msg::kOk) == whole.complete);
  if (whole.complete) {
    FUZZ_CHECK(whole.bytes == chunks.bytes && whole.bytes == bytes.bytes);
    FUZZ_CHECK(script == whole.bytes);
  }
  return 0;
}

}  // namespace
}  // namespace ztx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  return ztx::fuzz::Run(data, size);
}
