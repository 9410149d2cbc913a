#pragma once
// A confirmed control's file, from the check before its load to its
// deletion: found once in the held control folder by the name its
// registration gives, pinned there while its code runs, loaded with its
// imports searched as the platform's registration tool searches them, and
// deleted by that one name.
#include "../framework/DirectorySearch.h"
#include "../storage/FolderIdentity.h"
#include "../storage/HeldFolder.h"

class ControlFile {
 public:
  // For serverPath (ANSI as registered, converted exactly once, in full:
  // ToWidePath), finds the entry of folder its last part names: the one
  // spelled so, else the first that matches it ignoring case, by its long
  // or short name (a registration may use either, in any case). Opens that
  // entry through folder by its listed name, pinned: with read access,
  // others sharing it for reading only, so that nobody writes, renames or
  // deletes it while it is pinned; and checks that the path itself opens
  // that very file (volume and file ID) with no link on the way. False,
  // pinning nothing, otherwise.
  bool Pin(const HeldFolder& folder, const char* serverPath);
  bool IsPinned() const { return pinned_.IsValid(); }

  // Loads the pinned file (pinned first) by the path checked. Its imports come from its
  // own folder and the system directory; only where its import table names
  // a library found in neither (nor loaded already) are the 16-bit system
  // directory, the Windows directory and the folders on PATH added to the
  // search for that load (SearchFolders, in ControlFile.cpp). The platform
  // searches added folders in no given order and ahead of the system
  // directory, so there a library of the system's name lying in one of them
  // is taken from there. Never the program's own folder or the current
  // directory. Where the platform lacks the search flags, the altered search
  // order.
  HMODULE Load() const;

  // Whether module was mapped from the pinned file: its own file name, as
  // the loader keeps it, opens that file.
  bool IsLoadedFrom(HMODULE module) const;

  // Releases the pin and deletes the file from folder by the one name found.
  bool Delete(const HeldFolder& folder);

 private:
  UniqueFile pinned_;
  FolderIdentity identity_;
  wchar_t path_[kWidePathSize];
  wchar_t listed_[MAX_PATH];
  int listedLength_ = 0;
};
