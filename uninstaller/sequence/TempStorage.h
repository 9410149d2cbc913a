#pragma once
// Silent, shallow cleanup of the product's temporary-storage directory: the
// archive-flagged entries directly inside it are deleted, nothing else.
#include "../framework/FolderIdentity.h"
#include "../framework/Text.h"
#include "InstallDirs.h"

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

  // The folders the shell keeps for the user's and the machine's own data
  // and programs, as the shell reports them here: the profile and the folder
  // of all profiles, Desktop, Documents, Downloads, Pictures, Music, Videos,
  // Favorites, Templates, Send To, the Start menu with Programs and Startup,
  // AppData (roaming, local, low), their all-users and public versions,
  // ProgramData, Program Files and Common Files, Fonts and the like. On
  // 64-bit Windows also the native Program Files and Common Files, which a
  // 32-bit program's lookups never give (it gets the x86 ones): they are
  // read from the 64-bit registry view, where the shell itself keeps them,
  // rather than from the environment, which whoever starts the program sets.
  // Folders without a CSIDL come from SHGetKnownFolderPath, looked up at run
  // time, so that the program still starts where the shell lacks it. The
  // temporary folders (the user's and the Windows one) are left out: a
  // product may keep its temporary files there. A folder the shell can't
  // give, or that can't be opened, is not added.
  //
  // Wide-character calls throughout: the shell reports a folder whose name
  // the ANSI code page can't spell (a user name in another script) with
  // "?" in its place, which names no folder, so the folder would drop out of
  // the guard while a short name, which is plain ASCII, still reaches it.
  void ProtectShellFolders();

  // Adds folder. False, adding nothing, if its identity can't be read (a
  // folder that can't be opened can't be reached either) or the guard is full.
  bool Protect(const Text& folder);
  bool Protect(const wchar_t* folder);

  // Whether dir may be cleaned: its identity can be read, it is none of the
  // protected folders and not the root of its own volume. One open of dir
  // and one of its volume root; nothing per file. When allowed, *identity
  // (if given) is dir's.
  bool Allows(const Text& dir, FolderIdentity* identity = nullptr) const;

 private:
  bool Protect(const FolderIdentity& identity);

  // 26 drive letters, the system's five folders, about fifty of the shell's.
  static const int kCapacity = 96;
  FolderIdentity protected_[kCapacity];
  int count_ = 0;
};

// The cleanup as the sequence runs it, on dirs.tempStorageDir, guarded
// against the system's and the shell's folders. True if the directory could
// be searched (deleted or not) or is empty; false if the search could not
// start or the guard refuses it, with nothing deleted. The directory is used
// as given: "*.*" and the entry names are appended directly.
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
// The same for an installation of which only the directory is known.
bool CleanTempStorage(Text dir);
bool CleanTempStorage(Text dir, const FolderGuard& guard);

// True if path is empty or the file was deleted; false if deleting failed.
bool DeleteStoredFile(Text path);

// Whether an entry with these attributes is one the cleanup deletes.
bool IsStoredFileToDelete(DWORD attributes);
