#pragma once
// The one directory search of the program, and the one way a name the file
// system reports in UTF-16 becomes ANSI text.
//
// The ANSI calls turn a character the code page lacks into a look-alike
// (best fit: a fullwidth backslash becomes "\", in code page 932 a yen sign
// does too) or into "?", so a listed name could read as a path out of its
// folder, or as another file's name. Names are therefore read in UTF-16 and
// only an exact spelling is ever handed on.
#include <string.h>

#include "Handles.h"
#include "Text.h"

// Spells name (length UTF-16 units, no terminator needed) in the ANSI code
// page into out (size bytes, zero-terminated). True only when the spelling is
// exact: no look-alike, no default character, and it reads back as name. On
// false (also when it does not fit) out is empty.
inline bool SpellExactlyInAnsi(const wchar_t* name, int length, char* out, int size) {
  if (size <= 0) return false;
  out[0] = '\0';
  wchar_t back[MAX_PATH];
  if (length <= 0 || length > MAX_PATH) return false;
  // A UTF-8 code page takes neither the flag nor the default-character test;
  // the read-back still catches what it can't spell.
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL usedDefault = FALSE;
  int bytes = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, name, length, out, size - 1, nullptr,
                                  utf8 ? nullptr : &usedDefault);
  bool exact = bytes > 0 && !usedDefault &&
               MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, bytes, back, MAX_PATH) == length &&
               memcmp(back, name, length * sizeof(wchar_t)) == 0;
  out[exact ? bytes : 0] = '\0';
  return exact;
}

// Calls visit(entry) for every entry matching pattern (a directory text
// followed directly by a mask), in the order the file system returns them,
// with the entry as FindFirstFileA would give it, but only for entries whose
// long name the ANSI code page spells exactly: any other is skipped, so it
// never matches and never becomes part of a path. A short name the code page
// can't spell exactly is left empty. False when the search can't start
// (also when pattern is not valid text in the code page).
template <typename Visit>
bool ForEachDirectoryEntry(const Text& pattern, Visit visit) {
  wchar_t widePattern[MAX_PATH * 2];
  if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pattern.Get(), pattern.Length() + 1, widePattern,
                           MAX_PATH * 2))
    return false;
  WIN32_FIND_DATAW found;
  UniqueFind search(FindFirstFileW(widePattern, &found));
  if (!search.IsValid()) return false;
  do {
    WIN32_FIND_DATAA entry;
    if (!SpellExactlyInAnsi(found.cFileName, lstrlenW(found.cFileName), entry.cFileName, sizeof entry.cFileName))
      continue;
    SpellExactlyInAnsi(found.cAlternateFileName, lstrlenW(found.cAlternateFileName), entry.cAlternateFileName,
                       sizeof entry.cAlternateFileName);
    entry.dwFileAttributes = found.dwFileAttributes;
    entry.ftCreationTime = found.ftCreationTime;
    entry.ftLastAccessTime = found.ftLastAccessTime;
    entry.ftLastWriteTime = found.ftLastWriteTime;
    entry.nFileSizeHigh = found.nFileSizeHigh;
    entry.nFileSizeLow = found.nFileSizeLow;
    entry.dwReserved0 = found.dwReserved0;
    entry.dwReserved1 = found.dwReserved1;
    visit(static_cast<const WIN32_FIND_DATAA&>(entry));
  } while (FindNextFileW(search.Get(), &found));
  return true;
}
