// Small text conversions.
#pragma once

#include <cstdint>
#include <string>

namespace ztx {

// Signed decimal form: no leading zeros, "0" for zero, "-" before negatives.
inline std::string DecimalText(std::int32_t n) { return std::to_string(n); }

}  // namespace ztx
