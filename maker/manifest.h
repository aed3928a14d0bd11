// The manifest of `ztx make --manifest FILE`: what flags cannot say well, in JSON.
//
// {
//   "description": "text",                      (UTF-8; stored in Big5)
//   "backup_folder": "BACKUP",
//   "location": "user" | "windows" | "system" |
//               {"registry": {"root": "HKLM", "key": "Software\\Maker\\App", "value": "Path"}},
//   "optional": ["docs/readme.txt"],            (missing: a warning)
//   "quiet_optional": ["extras/skin.dat"],      (missing: nothing said)
//   "exclude": [{"file": "app.exe", "offset": 216, "length": 4}],
//   "registry": [{"check": {"root": "HKLM", "key": "...", "value": "Path"},
//                 "operations": [{"open": {"root": "HKLM", "key": "..."}},
//                                {"set": {"name": "Version", "sz": "1.2"}},
//                                {"set": {"name": "Build", "dword": 1203}},
//                                {"set": {"name": "Blob", "binary": "0a0b0c"}}]}]
// }
// Roots: HKCR, HKCU, HKLM, HKU, HKCC (or their long names).
#pragma once

#include <string>

#include "maker/patch_maker.h"

namespace ztx {

// Reads the manifest into the options; throws std::runtime_error naming the
// field that is wrong.
void ReadManifest(const std::string& json_text, MakeOptions* options);

}  // namespace ztx
