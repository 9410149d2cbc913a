#pragma once
// A confirmed control's file, from the check before its load to its
// deletion: found once in the held control folder by the name its
// registration gives, pinned there while its code runs, loaded with its
// imports found where the platform's registration tool finds them, and
// deleted by that one name.
#include "../framework/DirectorySearch.h"
#include "../storage/FolderIdentity.h"
#include "../storage/HeldFolder.h"

// Where the platform's registration tool finds library name (a file name)
// for the control at controlPath (in full): the first of the control's own
// folder, the system directory, the 16-bit system directory, the Windows
// directory and PATH's folders in PATH's order that holds it as a file; its
// full path into found (kWidePathSize units). A PATH entry that is relative,
// empty or MAX_PATH long or more, that is not there, or that is the
// program's own folder or the current directory (by identity) is passed
// over.
enum ImportPlace { kNowhere, kBeside, kInSystem, kElsewhere };
ImportPlace FindImportedLibrary(const wchar_t* controlPath, const wchar_t* name, wchar_t* found);

// The libraries a control imports that lie neither beside it nor in the
// system directory, loaded by their full paths where FindImportedLibrary
// finds them (their own imports from their folder and the system
// directory), and released when this goes, after the control. The loader
// then takes them as loaded: no folder is added to its search, which would
// put that folder ahead of the system directory and in no given order.
class ImportedLibraries {
 public:
  ImportedLibraries() {}
  ~ImportedLibraries();
  ImportedLibraries(const ImportedLibraries&) = delete;
  ImportedLibraries& operator=(const ImportedLibraries&) = delete;

  // For each library the import table of the image at path names, neither
  // loaded already nor beside it nor in the system directory. Read before
  // the load, from the table: Wine keeps a control whose import could not be
  // found mapped after the failed load, and its file can't be deleted then.
  void LoadFor(const wchar_t* path);

 private:
  static const int kCapacity = 64;
  HMODULE loaded_[kCapacity];
  int count_ = 0;
};

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

  // Loads the pinned file by the path checked, with its own folder and the
  // system directory searched for what it imports; what lies elsewhere is
  // loaded first, into imports (ImportedLibraries). Where the platform lacks
  // the search flags, the altered search order.
  HMODULE Load(ImportedLibraries& imports) const;

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
