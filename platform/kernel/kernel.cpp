#include "platform/kernel.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/text.h"

int MultiByteToWideChar(UINT codePage, DWORD, const char* str, int cbMultiByte, WCHAR* wideStr, int cchWideChar) {
  if (!str || cchWideChar < 0 || (codePage != CP_ACP && codePage != CP_THREAD_ACP && codePage != CP_UTF8)) return 0;
  const std::size_t length = cbMultiByte < 0 ? std::strlen(str) + 1 : std::size_t(cbMultiByte);
  const std::u16string wide = WidenUtf8(std::string_view(str, length));
  if (cchWideChar == 0) return int(wide.size());
  if (wide.size() > std::size_t(cchWideChar)) return 0;
  std::copy(wide.begin(), wide.end(), wideStr);
  return int(wide.size());
}

namespace {
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }
