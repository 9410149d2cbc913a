#pragma once
// A folder's identity as the file system itself keeps it: the serial number
// of its volume and its file index there. Every spelling of a path to the
// folder (dots, doubled or forward slashes, device prefixes, short names,
// another drive letter for the same place) and every link to it lead to the
// same identity, which no comparison of texts can promise. The converse is
// weaker (file indexes may be reused, and ReFS keeps longer ones), so a
// match may at worst be a false alarm, never a miss.
#include "../framework/Handles.h"
#include "../framework/Text.h"

struct FolderIdentity {
  DWORD volumeSerial = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;

  bool operator==(const FolderIdentity& other) const {
    return volumeSerial == other.volumeSerial && indexHigh == other.indexHigh && indexLow == other.indexLow;
  }
  bool operator!=(const FolderIdentity& other) const { return !(*this == other); }
};

// Opens path (UTF-16, a file or a folder, a link followed) for its
// attributes only, sharing every access, so nobody else's use of it stands
// in the way and nothing about it changes.
UniqueFile OpenForAttributes(const wchar_t* path);

// Reads the identity of what path names (ANSI, converted exactly, at any
// length the program reads: ToWidePath), as the platform resolves it
// (relative to the current directory if it is relative). The object is
// opened for its attributes only and shares every access, so nobody else's
// use of it stands in the way and nothing about it changes. True with
// *identity filled; false with *identity unchanged and GetLastError telling
// why when path can't be opened or its identity can't be read.
bool ReadFolderIdentity(const Text& path, FolderIdentity* identity);
// The same for a path in UTF-16, as the shell reports its folders: a name
// the ANSI code page can't spell stays intact.
bool ReadFolderIdentity(const wchar_t* path, FolderIdentity* identity);
// The same for what opened is, a handle with any access.
bool ReadOpenedFolderIdentity(HANDLE opened, FolderIdentity* identity);
