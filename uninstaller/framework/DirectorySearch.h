#pragma once
// The one directory search of the program: calls visit(entry) for every
// entry matching pattern (a directory text followed directly by a mask), in
// the order the file system returns them. False when the search can't start.
#include "Handles.h"
#include "Text.h"

template <typename Visit>
bool ForEachDirectoryEntry(const Text& pattern, Visit visit) {
  WIN32_FIND_DATAA entry;
  UniqueFind search(FindFirstFileA(pattern.Get(), &entry));
  if (!search.IsValid()) return false;
  do {
    visit(static_cast<const WIN32_FIND_DATAA&>(entry));
  } while (FindNextFileA(search.Get(), &entry));
  return true;
}
