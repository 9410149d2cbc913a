#include "InstallDirs.h"

#include <string.h>

#include "../framework/Handles.h"

namespace {
const char* const kPrimary[] = {
    ".Default\\Software\\Morvex\\Zentrova\\Directories\\Ocx Storage",
    ".Default\\Software\\Morvex\\Zentrova\\Directories\\Temp Storage",
    ".Default\\Software\\Morvex\\Zentrova\\Directories\\Root",
};
const char* const kFallback[] = {
    ".Default\\Software\\Zentrova\\Zentrova\\Directories\\Ocx Storage",
    ".Default\\Software\\Zentrova\\Zentrova\\Directories\\Temp Storage",
    ".Default\\Software\\Zentrova\\Zentrova\\Directories\\Root",
};
constexpr DWORD kValueBufferSize = 520;
}  // namespace

void ReadInstallDirs(InstallDirs& dirs) {
  Text* fields[] = {&dirs.ocxStorageDir, &dirs.tempStorageDir, &dirs.rootDir};
  for (int i = 0; i < 3; ++i) *fields[i] = ReadRegistryText(HKEY_USERS, kPrimary[i]);
  for (int i = 0; i < 3; ++i) {
    if (fields[i]->Length() == 0) *fields[i] = ReadRegistryText(HKEY_USERS, kFallback[i]);
  }
}

bool SplitHeadComponent(Text& head, Text& rest) {
  head.Empty();
  if (rest.IsEmpty()) return false;
  int i = rest.FindFirstBackslash();
  if (i >= 0) {
    head = rest.Left(i);
    rest = rest.Mid(i + 1);
  } else {
    head = rest;
    rest.Empty();
  }
  return !rest.IsEmpty();
}

Text ReadRegistryText(HKEY root, Text path) {
  char value[kValueBufferSize];
  memset(value, 0, sizeof value);
  Text rest = path;
  Text head;
  // The caller's root is closed along the walk, like every key opened after it.
  UniqueRegKey current(root);
  LONG error = ERROR_SUCCESS;

  while (SplitHeadComponent(head, rest) && error == ERROR_SUCCESS) {
    HKEY next = nullptr;
    error = RegOpenKeyExA(current.Get(), head.Get(), 0, KEY_READ, &next);
    current.Reset(error == ERROR_SUCCESS ? next : nullptr);
  }
  if (error != ERROR_SUCCESS) return Text();

  DWORD type = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(current.Get(), head.Get(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return Text();
  // Bytes that fill the buffer without a zero byte are as good as too long.
  if (!memchr(value, 0, sizeof value)) return Text();
  return Text(value);
}
