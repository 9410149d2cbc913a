#include "SourcePath.h"

namespace {
const char kSuffix[] = "\\DirectX";  // replaces the file name, backslash on
}

bool MakeSourcePath(const char* modulePath, DWORD length, char* out) {
  out[0] = '\0';
  if (length == 0 || length >= kSourcePathSize) return false;
  int lastBackslash = -1;
  // Under a double-byte code page a trail byte may be 0x5C: such a pair is
  // stepped over whole, as it is one character.
  for (DWORD i = 0; i < length; ++i) {
    if (modulePath[i] == '\\') lastBackslash = static_cast<int>(i);
    else if (IsDBCSLeadByte(static_cast<BYTE>(modulePath[i])) && i + 1 < length) ++i;
  }
  if (lastBackslash < 0 || lastBackslash + sizeof kSuffix > kSourcePathSize) return false;
  for (int i = 0; i < lastBackslash; ++i) out[i] = modulePath[i];
  for (DWORD i = 0; i < sizeof kSuffix; ++i) out[lastBackslash + i] = kSuffix[i];
  return true;
}
