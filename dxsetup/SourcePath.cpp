#include "SourcePath.h"

namespace {
const char kSuffix[] = "\\DirectX";  // replaces the file name, backslash on
}

bool MakeSourcePath(const char* modulePath, DWORD length, char* out) {
  out[0] = '\0';
  if (length == 0 || length >= kSourcePathSize) return false;
  int lastBackslash = -1;
  for (DWORD i = 0; i < length; ++i) {
    if (modulePath[i] == '\\') lastBackslash = static_cast<int>(i);
  }
  if (lastBackslash < 0 || lastBackslash + sizeof kSuffix > kSourcePathSize) return false;
  for (int i = 0; i < lastBackslash; ++i) out[i] = modulePath[i];
  for (DWORD i = 0; i < sizeof kSuffix; ++i) out[lastBackslash + i] = kSuffix[i];
  return true;
}
