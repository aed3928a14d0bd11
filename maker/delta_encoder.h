// The delta encoder: the five streams that turn one version of a file into the
// next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "maker/script_writer.h"

namespace ztx {

// A VersionSpec (size, CRC, decoder parameters and streams) for the step from
// `from` to `to`. The source name is left empty (the record's own name).
VersionSpec EncodeDelta(const std::string& from, const std::string& to);

// Every encoding the encoder ranks for the step, each as it would be
// written: both scans with every shape of copies and tails, every chunk size
// and every DeltaFlags value. For tests, which decode each of them.
std::vector<VersionSpec> EncodeEveryShape(const std::string& from, const std::string& to);

// The number of bytes the step takes in the patch before compression.
size_t EncodedSize(const VersionSpec& v);

}  // namespace ztx
