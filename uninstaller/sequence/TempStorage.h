#pragma once
// Silent, shallow cleanup of the product's temporary-storage directory: the
// archive-flagged entries directly inside it are deleted, nothing else.
#include "../storage/FolderGuard.h"
#include "../storage/HeldFolder.h"
#include "InstallDirs.h"

// The cleanup as the sequence runs it, on dirs.tempStorageDir, held once
// (HeldFolder.h: not through a link, checked on the open folder) and
// guarded against the system's and the shell's folders (FolderGuard.h). True
// if the directory could be listed (deleted or not) or no directory is
// given; false if the listing could not start or the folder is refused, with
// nothing deleted.
//
// An entry goes when the listing shows it with the archive attribute, as no
// folder and no link (IsLink: a compressed or cloud-synced file is a file),
// and it is none of the kept ones below. It is deleted through the open
// folder by its exact UTF-16 name (never as a link: the link itself is
// opened, not what it leads to), and only if what that opens is no folder
// and lies directly in the held folder (HeldFolder::DeleteEntry): a
// read-only file stays, as the file system refuses it. A name the ANSI code
// page can't spell exactly matches no kept name and never becomes a path, but
// the entry itself is deleted like any other.
//
// It keeps what the steps after it need, where the directory is, by
// identity, a folder they use:
// - the folder where the hand-over looks for its script (ScriptFolder): the
//   entries that the hand-over's own search for the script finds there;
// - the control-storage folder: every file that a class registration (any
//   class, "InprocServer32") still names, such as the controls the user kept.
//   A registration names a file when the last part of its path (quotes
//   dropped) is the file's long or short name, ignoring case, and the path,
//   with its variables expanded, opens that very file (the one opened by its
//   name through the held folder). The name test rules
//   out nearly every class without touching the disk, and every spelling
//   that reaches the file (case, short names, dots, slashes, device
//   prefixes, links to the folder) ends in one of its two names; only a hard
//   link under another name gets past. The identity test then decides as
//   the file system does. A bare file name keeps the file: the loader may
//   find it here through its search path.
// When the folders differ nothing more is read than without them.
bool CleanTempStorage(const InstallDirs& dirs);
// The same with another guard than the system's and the shell's folders.
bool CleanGuardedTempStorage(const InstallDirs& dirs, const FolderGuard& guard);
// The same on dirs.tempStorageDir already held and guarded as folder; the
// text serves only to find the folders to keep from.
bool CleanHeldTempStorage(const InstallDirs& dirs, const HeldFolder& folder);

// Whether an entry with these attributes is one the cleanup deletes.
bool IsStoredFileToDelete(DWORD attributes);
