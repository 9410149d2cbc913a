#pragma once
// Silent, shallow cleanup of the product's temporary-storage directory: the
// archive-flagged entries directly inside it are deleted, nothing else.
#include "../framework/Text.h"

// True if dir could be searched (deleted or not) or is empty; false if the
// search could not start or dir names a folder that must never be cleaned
// (a drive root, the Windows or the system directory). dir is used as given:
// "*.*" and the entry names are appended directly.
bool CleanTempStorage(Text dir);

// True if path is empty or the file was deleted; false if deleting failed.
bool DeleteStoredFile(Text path);

// Whether an entry with these attributes is one the cleanup deletes.
bool IsStoredFileToDelete(DWORD attributes);

// Drive roots and the Windows and system directories, compared without
// regard to case or a trailing backslash.
bool IsProtectedFolder(const Text& dir);
