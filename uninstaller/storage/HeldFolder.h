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

class HeldFolder {
 public:
  // Opens dir, not following it if it is a link itself, and holds it if it
  // is a folder, carries no FILE_ATTRIBUTE_REPARSE_POINT and is reached
  // without links (LinkRule.h, decided on the open folder). Others may read
  // and write it, not delete or rename it: on Windows the folder stays where
  // it is while it is held. False, holding nothing, otherwise, with
  // GetLastError telling why (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND
  // when there is no such folder), and where the platform lacks the calls
  // below (before Windows Vista).
  bool Open(const Text& dir);
  void Close() { folder_.Reset(); }

  bool IsOpen() const { return folder_.IsValid(); }
  HANDLE Get() const { return folder_.Get(); }
  const FolderIdentity& Identity() const { return identity_; }

  // One entry as the listing shows it; the names are not terminated.
  struct Entry {
    DWORD attributes;
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

  // Opens the entry name (length UTF-16 units) through the handle with
  // access, others sharing share, never as a folder and never following it
  // if it is a link (the link itself is opened), and keeps it in *entry only
  // if it lies directly in this folder (HoldsDirectly). False otherwise.
  bool OpenEntry(const wchar_t* name, int length, ACCESS_MASK access, DWORD share, UniqueFile* entry) const;

  // Deletes the entry name as OpenEntry opens it: marked for deletion
  // through its handle. The file system itself refuses a read-only file.
  bool DeleteEntry(const wchar_t* name, int length) const;

  // For path, a file as the loader is given it (ANSI, its last part the
  // file's long or short name, in any case): opens the entry listed under
  // that name through this folder, by its name as listed, into *entry, pinned
  // (others may read it, not write, rename or delete it, while *entry is
  // held), and checks that path itself opens that very file with no link on
  // the way (LeadsTo). False, with *entry empty, otherwise.
  bool OpenEntryNamedBy(const char* path, UniqueFile* entry) const;
  // Deletes the entry path's last part names, found as OpenEntryNamedBy
  // finds it (DeleteEntry). True for no path.
  bool DeleteEntryNamedBy(const char* path) const;

  // Whether path (UTF-16) opens, with no link on the way, the very file that
  // entry is: one volume, one file ID.
  static bool LeadsTo(const wchar_t* path, HANDLE entry);

  // Whether file, opened as the entry name (length UTF-16 units) of this
  // folder, is that entry directly inside it: the name the system keeps for
  // it now, volume included, is the folder's, as it was at the check,
  // followed by name. A platform that resolves a link (Wine's Unix links to
  // files, which it does not mark as links) or a folder renamed since the
  // check fails it.
  bool HoldsDirectly(HANDLE file, const wchar_t* name, int length) const;

 private:
  // The name the listing gives the entry path's last part names: the one
  // spelled exactly so, else the first that matches it ignoring case, long or
  // short (at most MAX_PATH units into listed). Only an exact name opens
  // what the system then names as that entry (HoldsDirectly).
  bool FindListedName(const char* path, wchar_t* listed, int* listedLength) const;

  static const int kNameCapacity = MAX_PATH * 2;
  UniqueFile folder_;
  FolderIdentity identity_;
  wchar_t name_[kNameCapacity];  // without a trailing backslash
  int nameLength_ = 0;
};
