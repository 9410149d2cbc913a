#include "TempStorage.h"

#include "../framework/DirectorySearch.h"
#include "../framework/OwnedList.h"
#include "../storage/ClassServers.h"
#include "ExternalUninstaller.h"

bool IsStoredFileToDelete(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0; }

namespace {
// Names of entries the cleanup leaves, all in the one folder it cleans.
class KeptNames {
 public:
  void Add(const char* name) { names_.Add(new Text(name)); }
  bool IsEmpty() const { return names_.Count() == 0; }
  bool Holds(const char* name) const {
    Text candidate(name);
    for (int i = 0; i < names_.Count(); ++i) {
      if (names_[i]->EqualsNoCase(candidate)) return true;
    }
    return false;
  }

 private:
  OwnedList<Text> names_;
};

// A file the cleanup would delete from the control-storage folder.
struct StoredFile {
  wchar_t wideName[MAX_PATH];
  int wideLength = 0;
  Text name;
  Text shortName;  // empty when the file system keeps none
  bool identityRead = false;
  bool readable = false;
  FolderIdentity identity;
  bool kept = false;
};

// The last part of path, after its last backslash, slash or drive colon.
// Neither "/" nor ":" is ever the trail byte of a double-byte character.
Text LastPart(const Text& path) {
  int cut = path.FindLastBackslash();
  for (int i = cut + 1; i < path.Length(); ++i) {
    if (path[i] == '/' || path[i] == ':') cut = i;
  }
  return path.Mid(cut + 1);
}

// Whether path opens file, the one opened by its name through the folder.
bool PathOpensFile(const Text& path, StoredFile& file, const HeldFolder& folder) {
  if (!file.identityRead) {
    UniqueFile opened;
    file.readable = folder.OpenEntry(file.wideName, file.wideLength, 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &opened) &&
                    ReadOpenedFolderIdentity(opened.Get(), &file.identity);
    file.identityRead = true;
  }
  if (!file.readable) return false;
  char expanded[520];
  DWORD length = ExpandEnvironmentStringsA(path.Get(), expanded, sizeof expanded);
  FolderIdentity named;
  return length > 0 && length <= sizeof expanded && ReadFolderIdentity(expanded, &named) && named == file.identity;
}

void KeepRegisteredServers(const HeldFolder& folder, KeptNames& kept) {
  OwnedList<StoredFile> files;
  auto list = [&files](const HeldFolder::Entry& entry) {
    char name[MAX_PATH];
    if (!IsStoredFileToDelete(entry.attributes) || entry.length > MAX_PATH ||
        !SpellExactlyInAnsi(entry.name, entry.length, name, sizeof name))
      return;
    StoredFile* file = new StoredFile;
    memcpy(file->wideName, entry.name, entry.length * sizeof(wchar_t));
    file->wideLength = entry.length;
    file->name = name;
    if (SpellExactlyInAnsi(entry.shortName, entry.shortLength, name, sizeof name)) file->shortName = name;
    files.Add(file);
  };
  folder.ForEachEntry(list);
  if (files.Count() == 0) return;

  auto visit = [&](const char* serverPath) {
    Text path(serverPath);
    if (path.Length() >= 2 && path[0] == '"' && path[path.Length() - 1] == '"') path = path.Mid(1).Left(path.Length() - 2);
    Text name = LastPart(path);
    if (name.IsEmpty()) return;
    for (int i = 0; i < files.Count(); ++i) {
      StoredFile& file = *files[i];
      if (file.kept || !(name.EqualsNoCase(file.name) || name.EqualsNoCase(file.shortName))) continue;
      if (name.Length() == path.Length() || PathOpensFile(path, file, folder)) {
        file.kept = true;
        kept.Add(file.name.Get());
      }
    }
  };
  ForEachClassServer(visit);
}

bool IsSameFolder(const Text& folder, const FolderIdentity& identity) {
  FolderIdentity other;
  return !folder.IsEmpty() && ReadFolderIdentity(folder, &other) && other == identity;
}

}  // namespace

bool CleanTempStorage(const InstallDirs& dirs) {
  if (dirs.tempStorageDir.IsEmpty()) return true;
  FolderGuard guard;
  guard.ProtectSystemFolders();
  guard.ProtectShellFolders();
  return CleanGuardedTempStorage(dirs, guard);
}

bool CleanGuardedTempStorage(const InstallDirs& dirs, const FolderGuard& guard) {
  if (dirs.tempStorageDir.IsEmpty()) return true;
  HeldFolder folder;
  return folder.Open(dirs.tempStorageDir) && guard.Allows(folder.Get(), dirs.tempStorageDir) &&
         CleanHeldTempStorage(dirs, folder);
}

bool CleanHeldTempStorage(const InstallDirs& dirs, const HeldFolder& folder) {
  if (!folder.IsOpen()) return false;
  KeptNames kept;
  Text scriptFolder = ScriptFolder(dirs);
  if (IsSameFolder(scriptFolder, folder.Identity())) {
    ForEachDirectoryEntry(scriptFolder + kUninstallScriptMask,
                          [&kept](const WIN32_FIND_DATAA& entry) { kept.Add(entry.cFileName); });
  }
  if (IsSameFolder(dirs.ocxStorageDir, folder.Identity())) KeepRegisteredServers(folder, kept);

  auto clean = [&](const HeldFolder::Entry& entry) {
    if (!IsStoredFileToDelete(entry.attributes) || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        IsLink(entry.attributes, entry.reparseTag))
      return;
    char spelled[MAX_PATH];  // the usual case, nothing kept, costs nothing per file
    if (!kept.IsEmpty() && SpellExactlyInAnsi(entry.name, entry.length, spelled, sizeof spelled) &&
        kept.Holds(spelled))
      return;
    folder.DeleteEntry(entry.name, entry.length);
  };
  return folder.ForEachEntry(clean);
}
