// Kernel text services under their Windows names. Every 8-bit code page
// here is the system's encoding, UTF-8, widened losslessly (see text.h).
#pragma once

#include "platform/wintypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

// Converts cbMultiByte bytes of str (-1: up to and including its NUL) to
// UTF-16. With cchWideChar 0, returns the units needed; otherwise the units
// written, or 0 when the buffer is too small or the code page is unknown.
[[nodiscard]] int MultiByteToWideChar(UINT codePage, DWORD flags, const char* str, int cbMultiByte, WCHAR* wideStr,
                        int cchWideChar);

// The calling thread's last OS error: the errno value that the file services
// (AVI files, picture saving) met when they last failed, 0 when none was
// recorded. The services set it on failure only, as Windows does; callers
// that name the OS reason in a message read it right after the failing call.
DWORD GetLastError();
void SetLastError(DWORD code);
