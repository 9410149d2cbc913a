#pragma once
// The class registrations under HKEY_CLASSES_ROOT\CLSID as both the control
// list and the cleanup read them. Reads only; nothing here writes a key.
#include <windows.h>

constexpr int kClassNameSize = 261;    // a class key's name, with its zero byte
constexpr LONG kServerPathSize = 520;  // a server path, with its zero byte

// The default value of subKey beneath key into buffer (size bytes), if it
// fits with its zero byte; bytes without one inside the buffer count as too
// long.
bool QueryDefaultText(HKEY key, const char* subKey, char* buffer, LONG size);

// The in-process server path of class name (the default value of
// "<name>\InprocServer32" beneath the open "CLSID" key classes, as stored)
// into buffer, as QueryDefaultText reads it.
bool QueryServerPath(HKEY classes, const char* name, char* buffer, LONG size);

// Calls visit(context, classes, name) for every class under
// HKEY_CLASSES_ROOT\CLSID, in registry order, the open "CLSID" key passed
// along. False if "CLSID" can't be opened.
bool ForEachClass(void (*visit)(void* context, HKEY classes, const char* name), void* context);

template <typename Visit>
bool ForEachClass(Visit& visit) {
  return ForEachClass(
      [](void* context, HKEY classes, const char* name) { (*static_cast<Visit*>(context))(classes, name); }, &visit);
}

// Calls visit(serverPath) with the in-process server path of every class,
// controls or not. One query per class.
template <typename Visit>
bool ForEachClassServer(Visit& visit) {
  auto each = [&visit](HKEY classes, const char* name) {
    char serverPath[kServerPathSize];
    if (QueryServerPath(classes, name, serverPath, sizeof serverPath)) visit(static_cast<const char*>(serverPath));
  };
  return ForEachClass(each);
}
