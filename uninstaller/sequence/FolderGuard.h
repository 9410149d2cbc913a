#pragma once
// Which folders the program may delete from. An ordinary user can rename a
// folder the product left writable and put a link in its place, and the
// program runs with administrator rights, so every folder it empties passes
// both rules here: no link leads there, and it is none of the system's and
// the shell's own folders.
#include "../framework/Text.h"
#include "FolderIdentity.h"

// Whether folder is reached without passing a link another user could have
// made: false when the folder itself or any folder on its path (the path as
// GetFullPathName spells it in full, relative to the current directory)
// carries FILE_ATTRIBUTE_REPARSE_POINT, unless that link is owned by SYSTEM,
// TrustedInstaller or the Administrators group, as the system's own links
// are. A part of the path that does not exist is no link: the folder can't
// be reached at all then. False, too, for an empty text, a path the platform
// can't take in full or whose parts can't be read, and a link whose owner
// can't be read. Wide-character calls throughout, so that no name is turned
// into a look-alike on the way. One attribute read per part of the path.
bool IsReachedWithoutLinks(const Text& folder);

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
  // The same for a folder already open (folder, any access): the identity is
  // the open folder's own, whatever dir names by now; dir serves only to find
  // the volume root.
  bool Allows(HANDLE folder, const Text& dir, FolderIdentity* identity = nullptr) const;

 private:
  bool Protect(const FolderIdentity& identity);
  bool AllowsIdentity(const FolderIdentity& identity, const Text& dir) const;

  // 26 drive letters, the system's five folders, about fifty of the shell's.
  static const int kCapacity = 96;
  FolderIdentity protected_[kCapacity];
  int count_ = 0;
};
