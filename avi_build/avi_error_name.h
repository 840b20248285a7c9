// The text a message box shows for an AVI result code.
#pragma once

#include "platform/wintypes.h"

// Returns the name of a known AVI result code ("AVIERR_BADPARAM", "AVIERR_OK",
// "REGDB_E_CLASSNOTREG"), or "AVI Error Unknown (0x%08x)" with the code in
// lower-case hexadecimal. The caller does not free the text. A name lives as
// long as the program; the unknown-code text belongs to the calling thread and
// stays valid until that thread's next call with an unknown code.
// May be called from any thread.
const char* AviErrorName(HRESULT code);
