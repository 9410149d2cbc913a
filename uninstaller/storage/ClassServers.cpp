#include "ClassServers.h"

#include <string.h>

#include "../framework/Handles.h"

bool QueryDefaultText(HKEY key, const char* subKey, char* buffer, LONG size) {
  LONG got = size;
  if (RegQueryValueA(key, subKey, buffer, &got) != ERROR_SUCCESS) return false;
  return memchr(buffer, 0, size) != nullptr;
}

bool QueryServerPath(HKEY classes, const char* name, char* buffer, LONG size) {
  char subKey[kClassNameSize + 16];
  wsprintfA(subKey, "%s\\InprocServer32", name);
  return QueryDefaultText(classes, subKey, buffer, size);
}

bool ForEachClass(void (*visit)(void* context, HKEY classes, const char* name), void* context) {
  UniqueRegKey classes;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", classes.Put()) != ERROR_SUCCESS) return false;
  char name[kClassNameSize];
  for (DWORD index = 0; RegEnumKeyA(classes.Get(), index, name, sizeof name) == ERROR_SUCCESS; ++index)
    visit(context, classes.Get(), name);
  return true;
}
