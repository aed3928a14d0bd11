// Writes the patch container: the bytes a patch maker appends to the applier.
// The counterpart of core/container.h, kept out of the applier's build.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ztx {

struct ContainerContent {
  std::string skipped_text;  // first text block, read past by the applier
  std::string description;   // Big5; '\n' is stored as the format's 0 byte
  std::string records;       // the rest of the script: location block, record groups
  bool compress = true;      // raw DEFLATE body, else stored
};

// The unpacked script: skipped text, description, records.
std::string BuildScript(const ContainerContent& content);

// Raw DEFLATE (no zlib header, no checksum) at zlib's strongest level.
std::vector<std::uint8_t> DeflateRaw(const std::string& data);

// Turns the script into a raw DEFLATE stream. The maker passes a stronger one
// than zlib's; this library stays free of it so that every build can link it.
using RawCompressor = std::function<std::vector<std::uint8_t>(const std::string&)>;

// Header, body and trailer, ready to be appended to the applier.
std::vector<std::uint8_t> BuildPatchData(const ContainerContent& content,
                                         const RawCompressor& compress = DeflateRaw);

}  // namespace ztx
