// <windows.h> defines DeleteFile, MoveFile, RegOpenKey, RegQueryValue,
// RegSetValue and WriteProfileString as macros for their A/W variants. They would rename the members of
// Os in every file that sees them, so this header (included right after
// <windows.h>) takes them back; code that means the Win32 functions names the
// ...A or ...ExA variant explicitly.
#pragma once

#include <windows.h>

#undef DeleteFile
#undef MoveFile
#undef RegOpenKey
#undef RegQueryValue
#undef RegSetValue
#undef WriteProfileString
