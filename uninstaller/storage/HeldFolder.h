#pragma once
// A folder opened once, checked on that open handle and held: everything the
// program lists, opens or deletes in it goes through the handle by an
// entry's exact UTF-16 name, never through a path text read again after the
// check, so a folder swapped for a link in between changes nothing. The
// cleanup holds the temporary-storage folder for its run; the control list
// holds the control folder from its walk to the dialog's end, while a
// person answers its questions.
#include "../framework/Handles.h"
#include "../framework/Text.h"
#include "FolderIdentity.h"
#include "LinkRule.h"

class HeldFolder {
 public:
  // Opens dir (at any length the program reads), not following it if it is
  // a link itself, and holds it if it is a folder, no link (IsLink) and
  // reached without links (LinkRule.h, decided on the open folder). Others
  // may read and write it, not delete or rename it: on Windows the folder
  // stays where it is while it is held. False, holding nothing, otherwise,
  // with GetLastError telling why (ERROR_FILE_NOT_FOUND or
  // ERROR_PATH_NOT_FOUND when there is no such folder).
  bool Open(const Text& dir);
  void Close() { folder_.Reset(); }

  bool IsOpen() const { return folder_.IsValid(); }
  HANDLE Get() const { return folder_.Get(); }
  const FolderIdentity& Identity() const { return identity_; }

  // One entry as the listing shows it; the names are not terminated.
  struct Entry {
    DWORD attributes;
    DWORD reparseTag;  // for a reparse point (IsLink)
    const wchar_t* name;
    int length;  // UTF-16 units
    const wchar_t* shortName;
    int shortLength;  // 0 when the file system keeps none
  };

  // Calls visit(entry) for every entry, listed through the handle. False if
  // the listing can't start.
  template <typename Visit>
  bool ForEachEntry(Visit& visit) const {
    return ForEachEntry([](void* context, const Entry& entry) { (*static_cast<Visit*>(context))(entry); }, &visit);
  }
  bool ForEachEntry(void (*visit)(void* context, const Entry& entry), void* context) const;

  // Opens the entry name (length UTF-16 units, exactly as listed) through
  // the handle with access, others sharing share, never as a folder and
  // never following it if it is a link (the link itself is opened), and
  // keeps it in *entry only if it lies directly in this folder: the name the
  // system gives what was opened is the folder's, as it was at the check,
  // followed by name. A platform that resolves a link anyway (Wine's Unix
  // links to files, which it does not mark as links) or a folder renamed
  // since the check fails it. False otherwise.
  bool OpenEntry(const wchar_t* name, int length, ACCESS_MASK access, DWORD share, UniqueFile* entry) const;

  // Deletes the entry name as OpenEntry opens it (Delete).
  bool DeleteEntry(const wchar_t* name, int length) const;

  // Marks file, opened with DELETE access, for deletion through its handle:
  // it goes when its last handle closes. The file system itself refuses a
  // read-only file.
  static bool Delete(HANDLE file);

 private:
  UniqueFile folder_;
  FolderIdentity identity_;
  PathName name_;  // the folder's final name, read once, at the check
};
