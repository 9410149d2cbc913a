#pragma once
// The search of a folder by a mask, as the hand-over and the cleanup's
// keeping of the script make it (the held folder lists through its handle),
// and the one way a name the file system reports in UTF-16 becomes ANSI text.
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

// Room for a path as ToWidePath gives it: the longest the program reads
// (519 characters), made full and given a device prefix.
constexpr int kWidePathSize = 1024;

// path (ANSI, converted exactly) as the wide file calls take it at any
// length: its full path (GetFullPathNameW, relative to the current
// directory), with "\\?\" ("\\?\UNC\" for a share) put before it when it
// is MAX_PATH characters or longer, which those calls refuse in the plain
// form. The prefix turns the platform's own clean-up of a path off, so it
// goes only before a path already cleaned up. False when path is no valid
// text in the code page or does not fit size units.
inline bool ToWidePath(const char* path, wchar_t* out, int size) {
  wchar_t given[kWidePathSize];
  if (!path || !*path || !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, given, kWidePathSize))
    return false;
  const int kPrefix = 8;  // "\\?\UNC\" at most
  DWORD length = GetFullPathNameW(given, size - kPrefix, out + kPrefix, nullptr);
  if (length == 0 || length >= static_cast<DWORD>(size - kPrefix)) return false;
  wchar_t* full = out + kPrefix;
  const bool device = full[0] == L'\\' && full[1] == L'\\' && (full[2] == L'?' || full[2] == L'.');
  if (length < MAX_PATH || device) {
    memmove(out, full, (length + 1) * sizeof(wchar_t));
  } else if (full[0] == L'\\' && full[1] == L'\\') {  // "\\server\x" becomes "\\?\UNC\server\x"
    memmove(out + 7, full + 1, length * sizeof(wchar_t));
    memcpy(out, L"\\\\?\\UNC", 7 * sizeof(wchar_t));
  } else {
    memmove(out + 4, full, (length + 1) * sizeof(wchar_t));
    memcpy(out, L"\\\\?\\", 4 * sizeof(wchar_t));
  }
  return true;
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
  wchar_t widePattern[kWidePathSize];
  if (!ToWidePath(pattern.Get(), widePattern, kWidePathSize)) return false;
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
