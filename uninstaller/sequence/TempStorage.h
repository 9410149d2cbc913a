#pragma once
// Silent, shallow cleanup of the product's temporary-storage directory: the
// archive-flagged entries directly inside it are deleted, nothing else.
#include "../framework/FolderIdentity.h"
#include "../framework/Text.h"

// The folders the cleanup must never empty, known by their identity (see
// FolderIdentity.h), so that no spelling of a path and no link gets past.
// Almost every file carries the archive bit and nothing is asked, so one
// value naming such a folder would otherwise empty it.
class FolderGuard {
 public:
  // The root of every drive (but network drives: a disconnected one can
  // stall for a long time, and a network root is still caught as the root
  // of its own volume), the Windows directory (the user's and the shared
  // one), the system directory and, on 64-bit Windows, the 32-bit system
  // directory and the native one reached through "Sysnative".
  void ProtectSystemFolders();

  // Adds folder. False, adding nothing, if its identity can't be read (a
  // folder that can't be opened can't be reached either) or the guard is full.
  bool Protect(const Text& folder);

  // Whether dir may be cleaned: its identity can be read, it is none of the
  // protected folders and not the root of its own volume. One open of dir
  // and one of its volume root; nothing per file.
  bool Allows(const Text& dir) const;

 private:
  static const int kCapacity = 40;  // 26 drive letters and the system's folders
  FolderIdentity protected_[kCapacity];
  int count_ = 0;
};

// True if dir could be searched (deleted or not) or is empty; false if the
// search could not start or the guard refuses dir, with nothing deleted.
// dir is used as given: "*.*" and the entry names are appended directly.
// The first form guards the system's own folders (ProtectSystemFolders).
bool CleanTempStorage(Text dir);
bool CleanTempStorage(Text dir, const FolderGuard& guard);

// True if path is empty or the file was deleted; false if deleting failed.
bool DeleteStoredFile(Text path);

// Whether an entry with these attributes is one the cleanup deletes.
bool IsStoredFileToDelete(DWORD attributes);
