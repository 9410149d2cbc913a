#pragma once
// Silent, shallow cleanup of the product's temporary-storage directory: the
// archive-flagged entries directly inside it are deleted, nothing else.
#include "../framework/Handles.h"
#include "../framework/Text.h"
#include "FolderGuard.h"
#include "InstallDirs.h"

// The temporary-storage folder, opened once for the cleanup and checked on
// that open handle: everything the cleanup lists and deletes goes through
// the handle, never through a path text read again after the check, so a
// folder swapped for a link in between changes nothing.
class CheckedStorageFolder {
 public:
  // Opens dir, not following it if it is a link itself, and keeps it open if
  // it is a folder, carries no FILE_ATTRIBUTE_REPARSE_POINT, passes guard
  // (by the open folder's identity) and the link rule (IsReachedWithoutLinks)
  // and dir still names that very folder. False, keeping nothing open,
  // otherwise, and where the platform lacks the calls the cleanup needs
  // (before Windows Vista).
  bool Open(const Text& dir, const FolderGuard& guard);

  bool IsOpen() const { return folder_.IsValid(); }
  HANDLE Get() const { return folder_.Get(); }
  const FolderIdentity& Identity() const { return identity_; }

  // Whether file, opened as the entry name (length UTF-16 units) of this
  // folder, is that entry directly inside it: the name the system keeps for
  // it now, volume included, is the folder's, as it was at the check,
  // followed by name. A platform that resolves a link (Wine's Unix links to
  // files, which it does not mark as links) or a folder renamed since the
  // check fails it.
  bool HoldsDirectly(HANDLE file, const wchar_t* name, int length) const;

 private:
  static const int kNameCapacity = MAX_PATH * 2;
  UniqueFile folder_;
  FolderIdentity identity_;
  wchar_t name_[kNameCapacity];  // without a trailing backslash
  int nameLength_ = 0;
};

// The cleanup as the sequence runs it, on dirs.tempStorageDir, guarded
// against the system's and the shell's folders and against links. True if
// the directory could be searched (deleted or not) or is empty; false if the
// search could not start or the folder is refused (see CheckedStorageFolder),
// with nothing deleted.
//
// An entry goes when the listing shows it with the archive attribute, as no
// folder and no link, and it is none of the kept ones below. It is deleted
// through the open folder by its exact UTF-16 name (never as a link: the link
// itself is opened, not what it leads to), and only if what that opens is no
// folder and lies directly in the checked folder (HoldsDirectly): a read-only
// file stays, as the file system refuses it. A name the ANSI code page can't
// spell exactly matches no kept name and never becomes a path, but the entry
// itself is deleted like any other.
//
// It keeps what the steps after it need, where the directory is, by
// identity, a folder they use:
// - the folder where the hand-over looks for its script (ScriptFolder): the
//   entries that the hand-over's own search for the script finds there;
// - the control-storage folder: every file that a class registration (any
//   class, "InprocServer32") still names, such as the controls the user kept.
//   A registration names a file when the last part of its path (quotes
//   dropped) is the file's long or short name, ignoring case, and the path,
//   with its variables expanded, opens that very file. The name test rules
//   out nearly every class without touching the disk, and every spelling
//   that reaches the file (case, short names, dots, slashes, device
//   prefixes, links to the folder) ends in one of its two names; only a hard
//   link under another name gets past. The identity test then decides as
//   the file system does. A bare file name keeps the file: the loader may
//   find it here through its search path.
// When the folders differ nothing more is read than without them.
bool CleanTempStorage(const InstallDirs& dirs);
bool CleanTempStorage(const InstallDirs& dirs, const FolderGuard& guard);
// The same on a folder already opened and checked for dirs.tempStorageDir;
// the text serves only to find the folders to keep from.
bool CleanTempStorage(const InstallDirs& dirs, const CheckedStorageFolder& folder);
// The same for an installation of which only the directory is known.
bool CleanTempStorage(Text dir);
bool CleanTempStorage(Text dir, const FolderGuard& guard);

// Deletes one stored file by its path: a control the user removes. True if
// path is empty or the file was deleted; false if deleting failed.
bool DeleteStoredFile(Text path);

// Whether an entry with these attributes is one the cleanup deletes.
bool IsStoredFileToDelete(DWORD attributes);
