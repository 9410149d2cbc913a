#pragma once
// Which folders the cleanup may empty: none of the system's and the shell's
// own. The other rule every folder it empties passes, that no link leads
// there, is LinkRule.h's.
#include "../framework/Text.h"
#include "FolderIdentity.h"

// The folders the cleanup must never empty, known by their identity (see
// FolderIdentity.h), so that no spelling of a path and no link gets past.
// Almost every file carries the archive bit and nothing is asked, so one
// value naming such a folder would otherwise empty it.
class FolderGuard {
 public:
  // The root of every drive that can be opened (but network drives: a
  // disconnected one can stall for a long time, and a network root is still
  // caught as the root of its own volume), the Windows directory (the user's and the shared
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
  // Folders without a CSIDL come from SHGetKnownFolderPath. The temporary folders (the user's and the Windows
  // one) are left out: a product may keep its temporary files there. A
  // folder the shell does not define here, or that is not there, is not
  // added; one it gives that can't be read fails the guard (Protect).
  //
  // Wide-character calls throughout: the shell reports a folder whose name
  // the ANSI code page can't spell (a user name in another script) with
  // "?" in its place, which names no folder, so the folder would drop out of
  // the guard while a short name, which is plain ASCII, still reaches it.
  void ProtectShellFolders();

  // Adds folder. False, adding nothing, if it is not there (no such folder,
  // no disk in its drive) or its identity can't be read or the guard is
  // full; the last two make the guard refuse every folder (Allows): a folder
  // it must protect and can't is one it can't tell from the one to clean.
  // The same holds where a call that names the system's folders fails.
  bool Protect(const Text& folder);
  bool Protect(const wchar_t* folder);

  // Whether dir may be cleaned: the guard recorded every folder it had to,
  // dir's identity can be read, it is none of the protected folders and not
  // the root of its own volume. One open of dir and one of its volume root;
  // nothing per file.
  bool Allows(const Text& dir) const;
  // The same for a folder already open (folder, any access): the identity is
  // the open folder's own, whatever dir names by now; dir serves only to find
  // the volume root.
  bool Allows(HANDLE folder, const Text& dir) const;

 private:
  // Records identity if read; otherwise fails the guard unless the folder
  // is simply not there (GetLastError).
  bool Record(bool read, const FolderIdentity& identity);

  // 26 drive letters, the system's five folders, about fifty of the shell's.
  static const int kCapacity = 96;
  FolderIdentity protected_[kCapacity];
  int count_ = 0;
  bool failed_ = false;
};
